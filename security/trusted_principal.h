// The principals that may own or write the updater's files.
#pragma once

#include "os/security_identifier.h"

namespace ostrel {

// Whether the SID is exactly LocalSystem, the Administrators group or the
// TrustedInstaller service. A member of Administrators is not Administrators,
// and no other account, group or service is trusted. Raises only when the
// TrustedInstaller SID cannot be built.
bool IsTrustedPrincipal(const os::Sid& sid);

}  // namespace ostrel
