#include "foundation/path_join.h"

#include "foundation/path_grammar.h"

namespace ostrel {
namespace {

// True when the base ends in a name, or is a server root name alone: the
// appended text would otherwise run into the base's last name.
bool NeedsSeparator(std::u16string_view base) {
  if (base.empty() || IsPathSeparator(base.back())) return false;
  PathParts parts = SplitPath(base);
  return !(parts.rootNameKind == RootNameKind::Drive && base.size() == parts.rootName.size());
}

}  // namespace

std::u16string JoinPath(std::u16string_view base, std::u16string_view name) {
  PathParts appended = SplitPath(name);
  std::u16string_view baseRootName = SplitPath(base).rootName;
  if (IsAbsolutePath(name) || (!appended.rootName.empty() && appended.rootName != baseRootName)) {
    return std::u16string(name);
  }
  std::u16string_view rest = name.substr(appended.rootName.size());
  std::u16string result(appended.rootDirectory.empty() ? base : baseRootName);
  if (appended.rootDirectory.empty() && NeedsSeparator(base)) result += u'\\';
  result += rest;
  return result;
}

}  // namespace ostrel
