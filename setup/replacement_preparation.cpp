#include "setup/replacement_preparation.h"

#include <stdexcept>

namespace ostrel {

void PrepareReplacement() { throw std::runtime_error("Replacement preparation is not built yet"); }

}  // namespace ostrel
