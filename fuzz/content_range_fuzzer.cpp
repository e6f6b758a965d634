// Parses a Content-Range value as the server sent it (UTF-16, two bytes a
// unit): an accepted range must be what the value's own digits say, with its
// first position not past its last.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "service/content_range.h"

namespace {

// The number the digits between the two separators spell, by another
// reading than the parser's.
std::uint64_t NumberBetween(const std::string& text, char before, char after) {
  const std::size_t start = text.find(before) + 1;
  std::uint64_t number = 0;
  std::from_chars(text.data() + start, text.data() + text.find(after, start), number);
  return number;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string value(size / 2, u'\0');
  for (std::size_t index = 0; index < value.size(); ++index) {
    value[index] = static_cast<char16_t>(data[2 * index] | data[2 * index + 1] << 8);
  }
  const std::optional<ostrel::ByteRange> range = ostrel::ParseContentRange(value);
  if (!range) return 0;
  if (range->first > range->last) __builtin_trap();
  // Accepted text is ASCII.
  const std::string text(value.begin(), value.end());
  if (NumberBetween(text, ' ', '-') != range->first || NumberBetween(text, '-', '/') != range->last) __builtin_trap();
  return 0;
}
