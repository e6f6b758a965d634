// The publisher's files, read from the file system of the machine the tool
// runs on, with the updater's own size rules and installer verification.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "release/release_metadata.h"

namespace ostrel {

// What a read of one kind of local file fails with: a size out of bounds,
// and a read that fails.
struct LocalFileFailures {
  const char* size;
  const char* read;
};

// The updater's own messages for its bounded read of release files.
inline constexpr LocalFileFailures ReleaseFileFailures{"Invalid metadata size", "Metadata read failed"};

// The whole file, which must hold 1 to limit bytes.
std::string ReadLocalFile(const std::filesystem::path& path, std::uint64_t limit,
                          const LocalFileFailures& failures = ReleaseFileFailures);

// The size and SHA-512 of an installer, read to its end.
struct FileDigest {
  std::uint64_t size = 0;
  Sha512Digest sha512{};
};
FileDigest DigestLocalInstaller(const std::filesystem::path& path);

// The updater's installer verification of a local file.
void VerifyLocalInstaller(const std::filesystem::path& path, const ReleaseMetadata& release);

}  // namespace ostrel
