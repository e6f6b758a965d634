#include "apply/apply_worker.h"

#include <stdexcept>

namespace ostrel {

void RunApplyWorker(std::uint32_t) { throw std::runtime_error("Apply worker is not built yet"); }

}  // namespace ostrel
