#include "release/installer_content.h"

#include <vector>

#include "foundation/failure.h"
#include "release/sha512_hash.h"

namespace ostrel {
namespace {

constexpr std::size_t ChunkSize = 65536;

}  // namespace

void RequireInstallerSize(std::uint64_t size, const ReleaseMetadata& release) {
  Require(size == release.size, "Installer size mismatch");
}

void VerifyInstallerContent(const InstallerReader& read, const ReleaseMetadata& release) {
  Sha512Hash hash;
  std::vector<char> buffer(ChunkSize);
  std::uint64_t bytesRead = 0;
  for (;;) {
    std::optional<std::size_t> count = read(buffer);
    Require(count.has_value(), "Installer read was incomplete");
    if (*count == 0) break;
    bytesRead += *count;
    Require(bytesRead <= release.size, "Installer changed while reading");
    hash.Update(buffer.data(), *count);
  }
  Require(bytesRead == release.size, "Installer read was incomplete");
  Require(hash.Finish() == release.sha512, "Installer SHA-512 mismatch");
}

}  // namespace ostrel
