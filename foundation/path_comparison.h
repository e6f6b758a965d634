// Deciding whether two path strings name the same location, lexically.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// The lexically normal form: root name as written with forward slashes made
// backslashes, one backslash for the root directory, runs of separators as
// one, "." names removed, each "name\.." pair removed, ".." directly below
// the root directory removed. A trailing separator is kept (except after a
// final ".."); an empty result is ".".
std::u16string NormalizePath(std::u16string_view path);

// True when the normal forms are equal, ignoring the case of A to Z only.
// Links, short names, prefixes and mapped drives are never resolved.
bool SamePath(std::u16string_view left, std::u16string_view right);

}  // namespace ostrel
