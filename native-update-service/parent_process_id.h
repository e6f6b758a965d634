// The parent process id that the service passes to the apply worker.
#pragma once

#include <cstdint>
#include <string_view>

namespace ostrel {

// Reads the id the way the platform's std::stoul reads a wide string in base
// 10 (leading white space, an optional sign, decimal digits 0 to 9 only,
// where Windows would also read other scripts' digits), with its
// 32-bit unsigned long: "invalid stoul argument" (std::invalid_argument)
// when no number can be read, "stoul argument out of range"
// (std::out_of_range) above 4294967295. Then requires a non-zero id and no
// trailing text: "Invalid updater parent".
std::uint32_t ParseParentProcessId(std::u16string_view text);

}  // namespace ostrel
