#include "setup/untrusted_directory.h"

#include <stdexcept>
#include <string>

#include "foundation/failure.h"
#include "foundation/path_grammar.h"
#include "foundation/text_conversion.h"
#include "os/file.h"
#include "os/tick_count.h"
#include "security/object_acl.h"
#include "security/path_validation.h"

namespace ostrel {
namespace {

bool PassesValidation(std::u16string_view path) {
  try {
    ValidateObjectAcl(path);
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}

// The name beside the object that it moves to: the time since boot in
// milliseconds is fresh for each run and not known to anyone in advance.
std::u16string SetAsideName(std::u16string_view path) {
  return std::u16string(path) + u".untrusted-" + ToUtf16(std::to_string(os::GetTickCount64()));
}

}  // namespace

void SetAsideUntrustedDirectory(std::u16string_view path) {
  std::uint32_t attributes = 0;
  if (os::GetFileAttributes(path, attributes)) return;
  ValidateUpdaterPath(ParentPath(path));
  if (PassesValidation(path)) return;
  constexpr const char* setAsideFailure = "Cannot set aside untrusted updater directory";
  os::Handle object;
  // Backup semantics to open a directory at all; the reparse point itself,
  // never what a junction points at.
  if (const os::Failure failure =
          os::CreateFile(path, os::Delete, os::FileShareRead | os::FileShareWrite | os::FileShareDelete,
                         os::OpenExisting, os::FileFlagBackupSemantics | os::FileFlagOpenReparsePoint, object)) {
    RaiseLastError(setAsideFailure, *failure);
  }
  if (const os::Failure failure = os::SetFileRenameInformation(object, SetAsideName(path), false)) {
    RaiseLastError(setAsideFailure, *failure);
  }
}

}  // namespace ostrel
