#include "setup/updater_installation.h"

#include <stdexcept>

namespace ostrel {

void InstallUpdater(std::u16string) { throw std::runtime_error("Updater installation is not built yet"); }

}  // namespace ostrel
