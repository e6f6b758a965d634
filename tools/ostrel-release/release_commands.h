// The three commands of ostrel-release, the publisher's tool for the feed
// that the updater reads. Each either completes or raises a failure whose
// message is one line; a failed command leaves no file behind.
#pragma once

#include <filesystem>
#include <string>

#include "release/release_metadata.h"

namespace ostrel {

// Writes a new Ed25519 key pair: the private key as PKCS #8 PEM, readable by
// its owner only, and the public key as 64 hex digits and a line break, the
// form the build's OSTREL_RELEASE_PUBLIC_KEY takes. Refuses to replace
// either file.
void GenerateKeyFiles(const std::filesystem::path& privateKey, const std::filesystem::path& publicKey);

struct SignRequest {
  std::filesystem::path privateKey;
  std::filesystem::path installer;
  std::string version;
  std::filesystem::path directory;
};

// Makes the directory a complete feed: release.json describing the
// installer, release.sig and a copy of the installer. Before anything is
// written, the result passes the updater's own verification, so a release
// the updater would refuse fails here with the updater's message.
ReleaseMetadata SignRelease(const SignRequest& request);

// Verifies a feed directory exactly as the updater does, with the given
// public key instead of the built-in one.
ReleaseMetadata VerifyFeedDirectory(const std::filesystem::path& publicKey, const std::filesystem::path& directory);

}  // namespace ostrel
