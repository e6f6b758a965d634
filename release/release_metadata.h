// The signed release metadata: release.json and its detached signature
// release.sig. Nothing of the document is parsed before the signature over
// its exact bytes has verified.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "release/release_signature.h"
#include "release/sha512_hash.h"

namespace ostrel {

// The verified content of release.json.
struct ReleaseMetadata {
  std::string version;  // UTF-8, a valid release version
  std::string file;     // UTF-8, a valid installer file name
  std::uint64_t size = 0;
  Sha512Digest sha512{};
  bool runtimeMatches = false;
};

// The most bytes "release.json" and "release.sig" may have, wherever they
// are read from.
inline constexpr std::size_t ReleaseMetadataLimit = 65536;
inline constexpr std::size_t ReleaseSignatureLimit = 512;

// Verifies the signature text over the metadata bytes with ReleasePublicKey,
// then reads the document. The caller read both within their limits and
// keeps them; nothing of a failed verification escapes.
ReleaseMetadata VerifyReleaseMetadata(std::string_view metadata, std::string_view signature);

// The same with another key, for the publisher's tool, which checks a feed
// against a key of the publisher's choosing.
ReleaseMetadata VerifyReleaseMetadata(std::string_view metadata, std::string_view signature,
                                      const Ed25519PublicKey& publicKey);

// Whether the UTF-8 text is an installer file name the updater accepts:
// "Ostrel-Setup-", 1 to 100 of A-Z, a-z, 0-9, "." and "-", then ".exe".
bool IsInstallerFileName(const std::string& file);

// Fails with "Invalid installer filename" unless IsInstallerFileName.
void ValidateInstallerFileName(const std::string& file);

// Reads and validates the members of a document whose signature has already
// verified, in the order version, file, size, sha512, runtime.
ReleaseMetadata ReadReleaseMetadata(std::string_view metadata);

}  // namespace ostrel
