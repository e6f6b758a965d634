// "--install": registers the updater as a secured service, with its native
// messaging host and the installed browser version.
#pragma once

#include <string>

namespace ostrel {

void InstallUpdater(std::u16string installedVersion);

}  // namespace ostrel
