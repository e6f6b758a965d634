// The Windows path grammar, implemented lexically so that it reads the same
// on every build: a path is a root name, a root directory and a relative part
// of names. Backslash and forward slash are both separators wherever a path
// is parsed. Nothing here looks at the file system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

enum class RootNameKind {
  None,
  Drive,             // C:
  DeviceOrVerbatim,  // \\?\, \\.\ or \??\ (the first three characters)
  Server,            // \\server
};

// A path taken apart. The views point into the parsed text.
struct PathParts {
  RootNameKind rootNameKind = RootNameKind::None;
  std::u16string_view rootName;
  std::u16string_view rootDirectory;  // the run of separators after the root name, as written
  // The names of the relative part in order; a path that ends in a separator
  // after a name has one final empty name.
  std::vector<std::u16string_view> names;
};

bool IsPathSeparator(char16_t unit);

PathParts SplitPath(std::u16string_view path);

// C:\x and paths with a device, verbatim or server root name are absolute;
// C:x, \x and x are not.
bool IsAbsolutePath(std::u16string_view path);

// The root name, then the root directory (if any), then each name.
std::vector<std::u16string_view> PathElements(std::u16string_view path);

// The root name followed by the root directory: C:\ for C:\a\b.
std::u16string_view RootPath(std::u16string_view path);

// The path without its last name and the separators before it, unless those
// are the root directory: C:\a\b gives C:\a, C:\a gives C:\.
std::u16string_view ParentPath(std::u16string_view path);

}  // namespace ostrel
