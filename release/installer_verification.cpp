#include "release/installer_verification.h"

#include "foundation/failure.h"
#include "os/file.h"
#include "release/file_size.h"
#include "release/installer_content.h"

namespace ostrel {

void VerifyInstaller(std::u16string_view path, const ReleaseMetadata& release) {
  RequireInstallerSize(FileSize(path), release);
  os::Handle file;
  Require(os::CreateFile(path, os::GenericRead, os::FileShareRead | os::FileShareWrite, os::OpenExisting,
                         os::FileAttributeNormal, file) == os::ErrorSuccess,
          "Installer cannot be read");
  VerifyInstallerContent(
      [&file](std::span<char> buffer) -> std::optional<std::size_t> {
        std::uint32_t read = 0;
        if (os::ReadFile(file, buffer, read) != os::ErrorSuccess) return std::nullopt;
        return read;
      },
      release);
}

}  // namespace ostrel
