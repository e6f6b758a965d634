// The process's standard streams, as raw bytes.
#pragma once

#include <string_view>

namespace ostrel::os {

// Writes the bytes to the standard output handle as they are, nothing
// translated. A failure is dropped, as for the standard error stream.
void WriteStandardOutput(std::string_view bytes);

// Writes the bytes to the standard error handle at once, without buffering,
// so a line is complete even if the process ends right after. A failure is
// dropped: there is nowhere left to report it.
void WriteStandardError(std::string_view bytes);

}  // namespace ostrel::os
