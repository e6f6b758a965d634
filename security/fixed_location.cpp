#include "security/fixed_location.h"

#include <stdexcept>

namespace ostrel {

void RequireFixedLocation() { throw std::runtime_error("Fixed updater location check is not built yet"); }

}  // namespace ostrel
