// COM start-up of the calling thread.
#pragma once

#include <cstdint>

#include "os/error_code.h"

namespace ostrel::os {

inline constexpr std::uint32_t CoinitMultithreaded = 0x0;

// CoInitializeEx(nullptr, coInit).
[[nodiscard]] HResult CoInitializeEx(std::uint32_t coInit);

}  // namespace ostrel::os
