#include "foundation/hex_text.h"

namespace ostrel {

std::string HexText(std::span<const std::uint8_t> bytes) {
  static constexpr char Digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t byte : bytes) {
    text += Digits[byte >> 4];
    text += Digits[byte & 0x0F];
  }
  return text;
}

}  // namespace ostrel
