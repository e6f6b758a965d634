// Appending a name to a path.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// Returns the base with the name appended. A plain relative name gets one
// backslash before it unless the base is empty, is a bare drive designator
// (C:) or already ends in a separator; nothing else is changed. An absolute
// name, or one whose root name differs from the base's, replaces the base; a
// name that starts with a root directory keeps only the base's root name.
std::u16string JoinPath(std::u16string_view base, std::u16string_view name);

}  // namespace ostrel
