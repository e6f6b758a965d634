#include "setup/updater_removal.h"

#include <stdexcept>

namespace ostrel {

void RemoveUpdater() { throw std::runtime_error("Updater removal is not built yet"); }

}  // namespace ostrel
