#include "service/content_range.h"

#include <limits>

namespace ostrel {
namespace {

constexpr std::u16string_view Unit = u"bytes ";

// Consumes the decimal number at the front of the text, at least one digit,
// refusing one that does not fit in 64 bits.
std::optional<std::uint64_t> TakeNumber(std::u16string_view& text) {
  std::uint64_t number = 0;
  std::size_t digits = 0;
  for (; digits < text.size() && text[digits] >= u'0' && text[digits] <= u'9'; ++digits) {
    const std::uint64_t digit = text[digits] - u'0';
    if (number > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    number = number * 10 + digit;
  }
  if (digits == 0) return std::nullopt;
  text.remove_prefix(digits);
  return number;
}

bool TakeCharacter(std::u16string_view& text, char16_t character) {
  if (text.empty() || text.front() != character) return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

std::optional<ByteRange> ParseContentRange(std::u16string_view value) {
  if (!value.starts_with(Unit)) return std::nullopt;
  value.remove_prefix(Unit.size());
  const std::optional<std::uint64_t> first = TakeNumber(value);
  if (!first || !TakeCharacter(value, u'-')) return std::nullopt;
  const std::optional<std::uint64_t> last = TakeNumber(value);
  if (!last || *first > *last || !TakeCharacter(value, u'/')) return std::nullopt;
  if (value == u"*") return ByteRange{*first, *last};
  const std::optional<std::uint64_t> length = TakeNumber(value);
  if (!length || !value.empty() || *last >= *length) return std::nullopt;
  return ByteRange{*first, *last};
}

}  // namespace ostrel
