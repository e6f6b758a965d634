#include "tools/ostrel-release/local_file.h"

#include <fstream>
#include <vector>

#include "foundation/failure.h"
#include "release/installer_content.h"
#include "release/sha512_hash.h"

namespace ostrel {

std::string ReadLocalFile(const std::filesystem::path& path, std::uint64_t limit, const LocalFileFailures& failures) {
  std::uintmax_t size = std::filesystem::file_size(path);
  Require(size != 0 && size <= limit, failures.size);
  std::ifstream input(path, std::ios::binary);
  std::string content(static_cast<std::size_t>(size), '\0');
  input.read(content.data(), static_cast<std::streamsize>(content.size()));
  Require(!input.fail(), failures.read);
  return content;
}

FileDigest DigestLocalInstaller(const std::filesystem::path& path) {
  std::ifstream input(path, std::ios::binary);
  Require(!input.fail(), "Installer cannot be read");
  Sha512Hash hash;
  FileDigest digest;
  std::vector<char> buffer(65536);
  while (input) {
    input.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    hash.Update(buffer.data(), static_cast<std::size_t>(input.gcount()));
    digest.size += static_cast<std::uint64_t>(input.gcount());
  }
  Require(input.eof() && !input.bad(), "Installer read was incomplete");
  digest.sha512 = hash.Finish();
  return digest;
}

void VerifyLocalInstaller(const std::filesystem::path& path, const ReleaseMetadata& release) {
  RequireInstallerSize(std::filesystem::file_size(path), release);
  std::ifstream input(path, std::ios::binary);
  Require(!input.fail(), "Installer cannot be read");
  VerifyInstallerContent(
      [&input](std::span<char> buffer) -> std::optional<std::size_t> {
        input.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (input.bad()) return std::nullopt;
        return static_cast<std::size_t>(input.gcount());
      },
      release);
}

}  // namespace ostrel
