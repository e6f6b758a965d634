// "--apply": the throw-away copy of the updater that installs a staged
// release once the service that started it has ended.
#pragma once

#include <cstdint>

namespace ostrel {

void RunApplyWorker(std::uint32_t parentProcessId);

}  // namespace ostrel
