#include "service/header_value.h"

#include <limits>

namespace ostrel {

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

std::optional<std::uint64_t> TakeDigits(std::u16string_view& text, std::size_t digits) {
  if (text.size() < digits) return std::nullopt;
  std::u16string_view front = text.substr(0, digits);
  const std::optional<std::uint64_t> number = TakeNumber(front);
  if (!number || !front.empty()) return std::nullopt;
  text.remove_prefix(digits);
  return number;
}

bool TakeText(std::u16string_view& text, std::u16string_view expected) {
  if (!text.starts_with(expected)) return false;
  text.remove_prefix(expected.size());
  return true;
}

}  // namespace ostrel
