#include "release/file_size.h"

#include "foundation/failure.h"
#include "os/file.h"

namespace ostrel {

std::uint64_t FileSize(std::u16string_view path) {
  os::Handle file;
  // Reading attributes asks for no data, so no share mode of another open
  // stands in the way.
  os::ErrorCode error = os::CreateFile(path, os::FileReadAttributes,
                                       os::FileShareRead | os::FileShareWrite | os::FileShareDelete,
                                       os::OpenExisting, os::FileAttributeNormal, file);
  std::uint64_t size = 0;
  if (error == os::ErrorSuccess) error = os::GetFileSizeEx(file, size);
  if (error != os::ErrorSuccess) RaiseFileSystemError("file_size", path, error);
  return size;
}

}  // namespace ostrel
