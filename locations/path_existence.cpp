#include "locations/path_existence.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "foundation/failure.h"
#include "os/file_system.h"

namespace ostrel {
namespace {

// The codes with which an existence test says that the path, or a directory
// on it, is not there or cannot name anything.
constexpr std::array AbsentPathCodes = {os::ErrorFileNotFound, os::ErrorPathNotFound, os::ErrorBadNetpath,
                                        os::ErrorNetnameDeleted, os::ErrorInvalidName, os::ErrorBadPathname,
                                        os::ErrorDirectory};

}  // namespace

bool PathExists(std::u16string_view path) {
  std::uint32_t attributes = 0;
  const os::Failure failure = os::GetFileAttributes(path, attributes);
  if (!failure) return true;
  if (std::ranges::find(AbsentPathCodes, *failure) != AbsentPathCodes.end()) return false;
  RaiseFileSystemError("exists", path, *failure);
}

}  // namespace ostrel
