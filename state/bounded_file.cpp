#include "state/bounded_file.h"

#include <span>

#include "foundation/failure.h"
#include "os/file.h"
#include "state/file_size.h"

namespace ostrel {
namespace {

// Fills the buffer from the file; false when a read fails or the file ends
// first.
bool ReadExactly(const os::Handle& file, std::span<char> buffer) {
  while (!buffer.empty()) {
    std::uint32_t read = 0;
    if (os::ReadFile(file, buffer, read) || read == 0) return false;
    buffer = buffer.subspan(read);
  }
  return true;
}

}  // namespace

std::string ReadBoundedFile(std::u16string_view path, std::uint64_t limit) {
  std::uint64_t size = FileSize(path);
  Require(size != 0 && size <= limit, "Invalid metadata size");
  os::Handle file;
  // Others may go on reading, writing and replacing it: where the system
  // lets a writer replace a file that is open, this reader never stops it.
  const os::Failure openFailure =
      os::CreateFile(path, os::GenericRead, os::FileShareRead | os::FileShareWrite | os::FileShareDelete,
                     os::OpenExisting, os::FileAttributeNormal, file);
  std::string content(static_cast<std::size_t>(size), '\0');
  Require(!openFailure && ReadExactly(file, content), "Metadata read failed");
  return content;
}

}  // namespace ostrel
