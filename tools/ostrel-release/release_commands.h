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
  bool allowOlder = false;  // publish even a version not newer than the feed's
};

// Makes the directory a complete feed: release.json describing the
// installer, release.sig and a copy of the installer. The version and the
// installer's file name are checked before anything is read, and the
// installer must be a regular file, the private key file private to its
// owner and the version newer than the release the directory holds (unless
// allowOlder). Before anything is written, the result passes the updater's
// own verification, so a release the updater would refuse fails here with
// the updater's message. The installer is renamed into place first, so the
// new metadata never names an installer that is not there.
ReleaseMetadata SignRelease(const SignRequest& request);

// Verifies a feed directory exactly as the updater does, with the given
// public key instead of the built-in one.
ReleaseMetadata VerifyFeedDirectory(const std::filesystem::path& publicKey, const std::filesystem::path& directory);

}  // namespace ostrel
