// The system's clock since boot.
#pragma once

#include <cstdint>

namespace ostrel::os {

// GetTickCount64: milliseconds since the system started.
std::uint64_t GetTickCount64();

}  // namespace ostrel::os
