// Feeds arbitrary UTF-16 text to the path grammar and its operations: none
// may read out of bounds, and their results must agree with one another.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/path_comparison.h"
#include "foundation/path_grammar.h"
#include "foundation/path_join.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ostrel;
  std::u16string path(size / 2, u'\0');
  std::memcpy(path.data(), data, path.size() * 2);

  // Without a root name, removing "." and ".." can bring a name such as C:
  // or ?? to the front, which the next parse reads as a root name.
  std::u16string normal = NormalizePath(path);
  if (!SplitPath(path).rootName.empty()) {
    Check(NormalizePath(normal) == normal);
    Check(SamePath(path, normal));
  }

  std::u16string_view parent = ParentPath(path);
  std::u16string_view root = RootPath(path);
  Check(path.starts_with(parent) && parent.starts_with(root));
  Check(IsAbsolutePath(path) == IsAbsolutePath(parent));

  // A relative name is appended whole.
  std::u16string_view half = std::u16string_view(path).substr(path.size() / 2);
  PathParts name = SplitPath(half);
  if (name.rootName.empty() && name.rootDirectory.empty()) Check(JoinPath(path, half).ends_with(half));
  return 0;
}
