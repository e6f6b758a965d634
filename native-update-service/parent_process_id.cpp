#include "native-update-service/parent_process_id.h"

#include <stdexcept>

#include "foundation/failure.h"

namespace ostrel {
namespace {

bool IsConversionSpace(char16_t unit) { return unit == u' ' || (unit >= u'\t' && unit <= u'\r'); }
bool IsDecimalDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

// std::stoul(text, &consumed, 10) as it behaves on Windows, where unsigned
// long has 32 bits; libstdc++'s own gives other messages and, on Linux, a
// 64-bit range. As there, a minus sign negates the value modulo 2^32. One
// difference is deliberate: Windows' conversion also reads the decimal
// digits of other scripts (full-width, Arabic-Indic, ...), this one only 0
// to 9. The service writes the id in ASCII, and the apply worker must not
// wait on a process named by text that only looks like digits.
std::uint32_t StringToUnsignedLong(std::u16string_view text, std::size_t& consumed) {
  std::size_t position = 0;
  while (position < text.size() && IsConversionSpace(text[position])) ++position;
  bool negative = false;
  if (position < text.size() && (text[position] == u'+' || text[position] == u'-')) {
    negative = text[position] == u'-';
    ++position;
  }
  if (position == text.size() || !IsDecimalDigit(text[position])) {
    throw std::invalid_argument("invalid stoul argument");
  }
  std::uint64_t magnitude = 0;
  bool outOfRange = false;
  for (; position < text.size() && IsDecimalDigit(text[position]); ++position) {
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[position] - u'0');
    if (magnitude > UINT32_MAX) {
      outOfRange = true;
      magnitude = UINT32_MAX;  // keep reading digits, as the conversion does
    }
  }
  if (outOfRange) throw std::out_of_range("stoul argument out of range");
  consumed = position;
  auto value = static_cast<std::uint32_t>(magnitude);
  return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

}  // namespace

std::uint32_t ParseParentProcessId(std::u16string_view text) {
  std::size_t consumed = 0;
  std::uint32_t id = StringToUnsignedLong(text, consumed);
  Require(id != 0 && consumed == text.size(), "Invalid updater parent");
  return id;
}

}  // namespace ostrel
