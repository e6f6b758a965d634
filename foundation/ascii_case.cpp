#include "foundation/ascii_case.h"

#include <algorithm>

namespace ostrel {
namespace {

char16_t FoldAsciiCase(char16_t unit) { return unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit; }

}  // namespace

bool EqualIgnoringAsciiCase(std::u16string_view left, std::u16string_view right) {
  return std::ranges::equal(left, right, [](char16_t a, char16_t b) { return FoldAsciiCase(a) == FoldAsciiCase(b); });
}

}  // namespace ostrel
