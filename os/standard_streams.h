// The process's standard streams, as raw bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "os/error_code.h"

namespace ostrel::os {

// Writes the bytes to the standard error handle at once, without buffering,
// so a line is complete even if the process ends right after. It allocates
// nothing, so it still serves when memory has run out. A failure is
// dropped: there is nowhere left to report it.
void WriteStandardError(std::string_view bytes);

// ReadFile on GetStdHandle(STD_INPUT_HANDLE), looked up at this call: one
// synchronous read into the buffer, without an overlapped record, buffering
// or text translation. bytesRead may be fewer than asked for; at the end of
// a pipe the read fails (ERROR_BROKEN_PIPE on Windows).
[[nodiscard]] Failure ReadFileFromStandardInput(std::span<char> buffer, std::uint32_t& bytesRead);

// WriteFile on GetStdHandle(STD_OUTPUT_HANDLE), looked up at this call: one
// synchronous write of the bytes as they are; bytesWritten may be fewer.
[[nodiscard]] Failure WriteFileToStandardOutput(std::span<const char> bytes, std::uint32_t& bytesWritten);

}  // namespace ostrel::os
