// The system's random source, for names nobody may know in advance.
#pragma once

#include <cstdint>
#include <span>

#include "os/error_code.h"

namespace ostrel::os {

// BCryptGenRandom with the system's preferred generator, no algorithm
// handle: fills the buffer with bytes from the system's random source. It
// returns an NTSTATUS rather than setting the last error: it fails when the
// status is not STATUS_SUCCESS, with the status as the failure's code.
[[nodiscard]] Failure BCryptGenRandom(std::span<std::uint8_t> buffer);

}  // namespace ostrel::os
