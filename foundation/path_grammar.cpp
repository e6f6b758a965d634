#include "foundation/path_grammar.h"

namespace ostrel {
namespace {

bool IsAsciiLetter(char16_t unit) { return (unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z'); }

struct RootName {
  RootNameKind kind;
  std::size_t length;
};

RootName FindRootName(std::u16string_view path) {
  if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == u':') return {RootNameKind::Drive, 2};
  // \\?\, \\.\ and \??\: the fourth character is a separator that no other
  // separator follows. Checked before the server form, which \\?\ also fits.
  if (path.size() >= 4 && IsPathSeparator(path[0]) && IsPathSeparator(path[3]) &&
      (path.size() == 4 || !IsPathSeparator(path[4])) &&
      ((IsPathSeparator(path[1]) && (path[2] == u'?' || path[2] == u'.')) || (path[1] == u'?' && path[2] == u'?'))) {
    return {RootNameKind::DeviceOrVerbatim, 3};
  }
  if (path.size() >= 3 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]) && !IsPathSeparator(path[2])) {
    std::size_t end = 2;
    while (end < path.size() && !IsPathSeparator(path[end])) ++end;
    return {RootNameKind::Server, end};
  }
  return {RootNameKind::None, 0};
}

std::size_t SkipSeparators(std::u16string_view path, std::size_t position) {
  while (position < path.size() && IsPathSeparator(path[position])) ++position;
  return position;
}

}  // namespace

bool IsPathSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

PathParts SplitPath(std::u16string_view path) {
  PathParts parts;
  RootName rootName = FindRootName(path);
  parts.rootNameKind = rootName.kind;
  parts.rootName = path.substr(0, rootName.length);
  std::size_t relativeStart = SkipSeparators(path, rootName.length);
  parts.rootDirectory = path.substr(rootName.length, relativeStart - rootName.length);
  std::size_t position = relativeStart;
  while (position < path.size()) {
    std::size_t end = position;
    while (end < path.size() && !IsPathSeparator(path[end])) ++end;
    parts.names.push_back(path.substr(position, end - position));
    position = SkipSeparators(path, end);
    if (position == path.size() && end < path.size()) parts.names.push_back(path.substr(position, 0));
  }
  return parts;
}

bool IsAbsolutePath(std::u16string_view path) {
  PathParts parts = SplitPath(path);
  switch (parts.rootNameKind) {
    case RootNameKind::Drive:
      return !parts.rootDirectory.empty();
    case RootNameKind::DeviceOrVerbatim:
    case RootNameKind::Server:
      return true;
    case RootNameKind::None:
      break;
  }
  return false;
}

std::vector<std::u16string_view> PathElements(std::u16string_view path) {
  PathParts parts = SplitPath(path);
  std::vector<std::u16string_view> elements;
  if (!parts.rootName.empty()) elements.push_back(parts.rootName);
  if (!parts.rootDirectory.empty()) elements.push_back(parts.rootDirectory);
  elements.insert(elements.end(), parts.names.begin(), parts.names.end());
  return elements;
}

std::u16string_view RootPath(std::u16string_view path) {
  PathParts parts = SplitPath(path);
  return path.substr(0, parts.rootName.size() + parts.rootDirectory.size());
}

std::u16string_view ParentPath(std::u16string_view path) {
  std::size_t relativeStart = RootPath(path).size();
  std::size_t end = path.size();
  while (end > relativeStart && !IsPathSeparator(path[end - 1])) --end;
  while (end > relativeStart && IsPathSeparator(path[end - 1])) --end;
  return path.substr(0, end);
}

}  // namespace ostrel
