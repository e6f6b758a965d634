#include "state/file_size.h"

#include "foundation/failure.h"
#include "os/file.h"

namespace ostrel {

std::uint64_t FileSize(std::u16string_view path) {
  os::Handle file;
  // Reading attributes asks for no data, so no share mode of another open
  // stands in the way.
  os::Failure failure =
      os::CreateFile(path, os::FileReadAttributes, os::FileShareRead | os::FileShareWrite | os::FileShareDelete,
                     os::OpenExisting, os::FileAttributeNormal, file);
  std::uint64_t size = 0;
  if (!failure) failure = os::GetFileSizeEx(file, size);
  if (failure) RaiseFileSystemError("file_size", path, *failure);
  return size;
}

}  // namespace ostrel
