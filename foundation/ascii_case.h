// Text comparison that ignores the case of the ASCII letters A to Z only,
// the way the system compares paths, image names and registrations: no
// other letter is folded, and nothing is normalised.
#pragma once

#include <string_view>

namespace ostrel {

// True when both texts have the same length and every UTF-16 unit is equal
// once A to Z are taken as a to z.
bool EqualIgnoringAsciiCase(std::u16string_view left, std::u16string_view right);

}  // namespace ostrel
