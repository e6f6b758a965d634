#include "state/installer_verification.h"

#include "foundation/failure.h"
#include "os/file.h"
#include "release/installer_content.h"
#include "state/file_size.h"
#include "state/stop_request.h"

namespace ostrel {
namespace {

os::Handle OpenInstaller(std::u16string_view path, std::uint32_t shareMode) {
  os::Handle file;
  Require(!os::CreateFile(path, os::GenericRead, shareMode, os::OpenExisting, os::FileAttributeNormal, file),
          "Installer cannot be read");
  return file;
}

void VerifyContent(const os::Handle& file, const ReleaseMetadata& release) {
  VerifyInstallerContent(
      [&file](std::span<char> buffer) -> std::optional<std::size_t> {
        // A gigabyte takes seconds to hash; a stop is not kept waiting.
        RequireNoStopRequest();
        std::uint32_t read = 0;
        if (os::ReadFile(file, buffer, read)) return std::nullopt;
        return read;
      },
      release);
}

}  // namespace

void VerifyInstaller(std::u16string_view path, const ReleaseMetadata& release) {
  RequireInstallerSize(FileSize(path), release);
  VerifyContent(OpenInstaller(path, os::FileShareRead | os::FileShareWrite), release);
}

os::Handle OpenVerifiedInstaller(std::u16string_view path, const ReleaseMetadata& release) {
  os::Handle file = OpenInstaller(path, os::FileShareRead);
  std::uint64_t size = 0;
  Require(!os::GetFileSizeEx(file, size), "Installer cannot be read");
  RequireInstallerSize(size, release);
  VerifyContent(file, release);
  return file;
}

}  // namespace ostrel
