// Bytes written as text: two lower-case hexadecimal digits each.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace ostrel {

// The bytes in order, each as two digits 0-9 a-f, the high half first.
std::string HexText(std::span<const std::uint8_t> bytes);

}  // namespace ostrel
