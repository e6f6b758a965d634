// Converts arbitrary bytes both ways: the conversions never fail, and what
// they produce is always well formed, so a second round changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "foundation/text_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::u16string text = ostrel::ToUtf16(bytes);
  if (ostrel::ToUtf16(ostrel::ToUtf8(text)) != text) __builtin_trap();

  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  std::string utf8 = ostrel::ToUtf8(units);
  if (ostrel::ToUtf8(ostrel::ToUtf16(utf8)) != utf8) __builtin_trap();
  return 0;
}
