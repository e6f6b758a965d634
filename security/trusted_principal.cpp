#include "security/trusted_principal.h"

#include <string_view>

#include "foundation/failure.h"

namespace ostrel {
namespace {

// The Windows servicing service, which installs system files. Its SID is
// derived from the service name and is the same on every machine.
constexpr std::u16string_view TrustedInstallerSid = u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

}  // namespace

bool IsTrustedPrincipal(const os::Sid& sid) {
  if (os::IsWellKnownSid(sid, os::WellKnownSidType::WinLocalSystemSid)) return true;
  if (os::IsWellKnownSid(sid, os::WellKnownSidType::WinBuiltinAdministratorsSid)) return true;
  os::Sid trustedInstaller;
  if (const os::Failure failure = os::ConvertStringSidToSid(TrustedInstallerSid, trustedInstaller)) {
    RaiseLastError("Windows servicing SID", *failure);
  }
  return os::EqualSid(sid, trustedInstaller);
}

}  // namespace ostrel
