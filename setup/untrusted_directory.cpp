#include "setup/untrusted_directory.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "foundation/failure.h"
#include "foundation/hex_text.h"
#include "foundation/path_grammar.h"
#include "foundation/text_conversion.h"
#include "os/file.h"
#include "os/random.h"
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

constexpr const char* SetAsideFailure = "Cannot set aside untrusted updater directory";

// The name beside the object that it moves to, ending in 128 bits from the
// system's random source: a user who could guess it could create it first
// and so keep the installation from ever setting the directory aside.
std::u16string SetAsideName(std::u16string_view path) {
  std::array<std::uint8_t, 16> random{};
  if (const os::Failure failure = os::BCryptGenRandom(random)) RaiseLastError(SetAsideFailure, *failure);
  return std::u16string(path) + u".untrusted-" + ToUtf16(HexText(random));
}

}  // namespace

void SetAsideUntrustedDirectory(std::u16string_view path) {
  std::uint32_t attributes = 0;
  if (os::GetFileAttributes(path, attributes)) return;
  ValidateUpdaterPath(ParentPath(path));
  if (PassesValidation(path)) return;
  os::Handle object;
  // Backup semantics to open a directory at all; the reparse point itself,
  // never what a junction points at.
  if (const os::Failure failure =
          os::CreateFile(path, os::Delete, os::FileShareRead | os::FileShareWrite | os::FileShareDelete,
                         os::OpenExisting, os::FileFlagBackupSemantics | os::FileFlagOpenReparsePoint, object)) {
    RaiseLastError(SetAsideFailure, *failure);
  }
  if (const os::Failure failure = os::SetFileRenameInformation(object, SetAsideName(path), false)) {
    RaiseLastError(SetAsideFailure, *failure);
  }
}

}  // namespace ostrel
