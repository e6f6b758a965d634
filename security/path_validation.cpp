#include "security/path_validation.h"

#include <cstdint>
#include <string>

#include "foundation/failure.h"
#include "foundation/path_grammar.h"
#include "foundation/path_join.h"
#include "os/file_system.h"

namespace ostrel {
namespace {

// Element-wise equality: root names exactly, whether each has a root
// directory (any run of separators being one), then the names.
bool SameElements(std::u16string_view left, std::u16string_view right) {
  PathParts leftParts = SplitPath(left);
  PathParts rightParts = SplitPath(right);
  return leftParts.rootName == rightParts.rootName &&
         leftParts.rootDirectory.empty() == rightParts.rootDirectory.empty() && leftParts.names == rightParts.names;
}

}  // namespace

void ValidateUpdaterPath(std::u16string_view path) {
  Require(IsAbsolutePath(path), "Updater paths must be absolute");
  const std::u16string_view rootPath = RootPath(path);
  std::u16string prefix;
  for (std::u16string_view element : PathElements(path)) {
    Require(element != u"..", "Updater path traversal rejected");
    prefix = JoinPath(prefix, element);
    if (SameElements(prefix, rootPath)) continue;
    std::uint32_t attributes = 0;
    if (const os::Failure failure = os::GetFileAttributes(prefix, attributes)) {
      RaiseLastError("Inspect updater path", *failure);
    }
    Require((attributes & os::FileAttributeReparsePoint) == 0, "Updater reparse point rejected");
  }
}

}  // namespace ostrel
