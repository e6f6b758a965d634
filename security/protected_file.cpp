#include "security/protected_file.h"

#include "foundation/failure.h"
#include "foundation/path_grammar.h"
#include "os/file.h"
#include "os/file_system.h"
#include "security/file_in_use.h"
#include "security/object_acl.h"

namespace ostrel {

os::Handle OpenProtectedFile(std::u16string_view path, std::uint32_t shareMode, std::uint32_t flags,
                             const char* openFailure) {
  ValidateObjectAcl(ParentPath(path));
  os::Handle file;
  // OPEN_ALWAYS, not CREATE_ALWAYS: an existing file keeps its bytes until
  // its handle has been checked, and FILE_FLAG_OPEN_REPARSE_POINT, which
  // opens a link at the name as itself, is documented with it. No security
  // attributes: a new file takes the entries of its protected directory.
  if (const os::Failure failure = RetryWhileInUse([&] {
        return os::CreateFile(path, os::GenericWrite, shareMode, os::OpenAlways, flags | os::FileFlagOpenReparsePoint,
                              file);
      })) {
    RaiseLastError(openFailure, *failure);
  }
  os::FileInformation information;
  if (const os::Failure failure = os::GetFileInformationByHandle(file, information)) {
    RaiseLastError("Inspect updater file", *failure);
  }
  Require((information.attributes & os::FileAttributeReparsePoint) == 0, "Updater file reparse point rejected");
  Require((information.attributes & os::FileAttributeDirectory) == 0, "Updater file is a directory");
  // Whatever is written here would show under every other name too.
  Require(information.numberOfLinks == 1, "Updater file has other names");
  return file;
}

os::Handle CreateProtectedFile(std::u16string_view path, std::uint32_t shareMode, std::uint32_t flags,
                               const char* createFailure) {
  os::Handle file = OpenProtectedFile(path, shareMode, flags, createFailure);
  if (const os::Failure failure = os::SetEndOfFile(file)) RaiseLastError(createFailure, *failure);
  return file;
}

void WriteProtectedFile(std::u16string_view path, std::string_view bytes) {
  os::Handle file = CreateProtectedFile(path, os::FileShareRead, os::FileFlagWriteThrough | os::FileAttributeNormal,
                                        "Create updater file");
  std::uint32_t written = 0;
  // A count that does not fit in 32 bits can never equal what was written.
  const os::Failure writeFailure = os::WriteFile(file, bytes, written);
  // A short write is no failure of the call and carries no code of its own.
  if (writeFailure || written != bytes.size()) {
    RaiseLastError("Write updater file", writeFailure.value_or(os::ErrorSuccess));
  }
  if (const os::Failure failure = os::FlushFileBuffers(file)) RaiseLastError("Flush updater file", *failure);
}

void ReplaceProtectedFile(std::u16string_view path, std::u16string_view temporaryPath, std::string_view bytes,
                          const char* commitFailure) {
  WriteProtectedFile(temporaryPath, bytes);
  if (const os::Failure failure = RetryWhileInUse([&] {
        return os::MoveFileEx(temporaryPath, path, os::MovefileReplaceExisting | os::MovefileWriteThrough);
      })) {
    RaiseLastError(commitFailure, *failure);
  }
}

}  // namespace ostrel
