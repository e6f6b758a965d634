#include "release/installer_verification.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "foundation/failure.h"
#include "release/sha512_hash.h"

namespace ostrel {
namespace {

constexpr std::size_t ChunkSize = 65536;

}  // namespace

void VerifyInstaller(std::u16string_view path, const ReleaseMetadata& release) {
  std::filesystem::path file(path);
  Require(std::filesystem::file_size(file) == release.size, "Installer size mismatch");
  std::ifstream input(file, std::ios::binary);
  Require(!input.fail(), "Installer cannot be read");
  VerifyInstallerContent(input, release);
}

void VerifyInstallerContent(std::istream& input, const ReleaseMetadata& release) {
  Sha512Hash hash;
  std::vector<char> buffer(ChunkSize);
  std::uint64_t bytesRead = 0;
  // A short read sets the end-of-file and failure flags, which end the loop
  // on the next turn; a file of a multiple of 64 KiB ends with a read of 0.
  while (!input.fail()) {
    input.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    auto count = static_cast<std::size_t>(input.gcount());
    bytesRead += count;
    Require(bytesRead <= release.size, "Installer changed while reading");
    if (count > 0) hash.Update(buffer.data(), count);
  }
  Require(input.eof() && !input.bad() && bytesRead == release.size, "Installer read was incomplete");
  Require(hash.Finish() == release.sha512, "Installer SHA-512 mismatch");
}

}  // namespace ostrel
