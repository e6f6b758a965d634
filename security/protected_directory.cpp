#include "security/protected_directory.h"

#include <cstdint>

#include "foundation/failure.h"
#include "os/file_system.h"
#include "security/object_acl.h"

namespace ostrel {
namespace {

void CreateProtectedDirectory(std::u16string_view path) {
  os::Failure creation;
  {
    os::SecurityDescriptor descriptor;
    if (const os::Failure failure = os::ConvertStringSecurityDescriptorToSecurityDescriptor(
            ProtectedDirectorySddl, os::SddlRevision1, descriptor)) {
      RaiseLastError("Build updater ACL", *failure);
    }
    creation = os::CreateDirectory(path, descriptor);
  }
  // Another process may have created it since the attributes were read; that
  // directory is validated like any existing one.
  Require(!creation || creation == os::ErrorAlreadyExists, "Cannot create protected updater directory");
}

}  // namespace

void EnsureProtectedDirectory(std::u16string_view path) {
  std::uint32_t attributes = 0;
  if (os::GetFileAttributes(path, attributes)) CreateProtectedDirectory(path);
  ValidateObjectAcl(path);
  // A directory removed since it was validated is not a directory either.
  bool readable = !os::GetFileAttributes(path, attributes);
  Require(readable && (attributes & os::FileAttributeDirectory) != 0, "Updater path is not a directory");
}

}  // namespace ostrel
