// Pausing the calling thread.
#pragma once

#include <cstdint>

namespace ostrel::os {

// Sleep: suspends the calling thread for at least the given time.
void Sleep(std::uint32_t milliseconds);

}  // namespace ostrel::os
