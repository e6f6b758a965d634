#include "security/protected_file.h"

#include <cstdint>

#include "foundation/failure.h"
#include "foundation/path_grammar.h"
#include "os/file.h"
#include "security/object_acl.h"

namespace ostrel {

void WriteProtectedFile(std::u16string_view path, std::string_view bytes) {
  ValidateObjectAcl(ParentPath(path));
  os::Handle file;
  // No security attributes: a new file takes the entries of its protected
  // directory. The open applies to a link itself, never to its target.
  if (const os::Failure failure =
          os::CreateFile(path, os::GenericWrite, os::FileShareRead, os::CreateAlways,
                         os::FileFlagWriteThrough | os::FileFlagOpenReparsePoint | os::FileAttributeNormal, file)) {
    RaiseLastError("Create updater file", *failure);
  }
  os::FileInformation information;
  if (const os::Failure failure = os::GetFileInformationByHandle(file, information)) {
    RaiseLastError("Inspect updater file", *failure);
  }
  Require((information.attributes & os::FileAttributeReparsePoint) == 0, "Updater file reparse point rejected");
  std::uint32_t written = 0;
  // A count that does not fit in 32 bits can never equal what was written.
  const os::Failure writeFailure = os::WriteFile(file, bytes, written);
  // A short write is no failure of the call and carries no code of its own.
  if (writeFailure || written != bytes.size()) {
    RaiseLastError("Write updater file", writeFailure.value_or(os::ErrorSuccess));
  }
  if (const os::Failure failure = os::FlushFileBuffers(file)) RaiseLastError("Flush updater file", *failure);
}

}  // namespace ostrel
