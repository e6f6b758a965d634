// The running executable's own image.
#pragma once

#include <cstdint>
#include <span>

#include "os/error_code.h"

namespace ostrel::os {

// GetModuleFileNameW for the process's executable (no module handle) into
// the buffer. The length is the call's result: the units written without the
// terminator, or, when the name does not fit, the buffer's whole size with
// the name cut. A result of 0 is a failure.
[[nodiscard]] Failure GetModuleFileName(std::span<char16_t> buffer, std::uint32_t& length);

}  // namespace ostrel::os
