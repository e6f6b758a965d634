// The three commands of ostrel-release, the publisher's tool for the feed
// that the updater reads. Each either completes or raises a failure whose
// message is one line; a failed command leaves no file behind.
#pragma once

#include <filesystem>
#include <string>

#include "release/release_metadata.h"
#include "release/release_signature.h"

namespace ostrel {

// Writes a new Ed25519 key pair: the private key as PKCS #8 PEM, readable by
// its owner only, and the public key as 64 hex digits and a line break, the
// form the build's OSTREL_RELEASE_PUBLIC_KEY takes. Refuses to replace
// either file. Returns the public key.
Ed25519PublicKey GenerateKeyFiles(const std::filesystem::path& privateKey, const std::filesystem::path& publicKey);

struct SignRequest {
  std::filesystem::path privateKey;
  std::filesystem::path installer;
  std::string version;
  std::filesystem::path directory;
  bool allowOlder = false;               // publish even a version not newer than the feed's
  bool allowNameWithoutVersion = false;  // publish even an installer name that does not end in the version
};

// Makes the directory a complete feed: release.json describing the
// installer, release.sig and a copy of the installer, with the installer
// recorded among the directory's published installers. The version and the
// installer's file name are checked before anything is read: the name must
// end in the version and ".exe" (unless allowNameWithoutVersion). The
// installer must be a regular file, the private key file private to its
// owner, the version newer than the release the directory holds (unless
// allowOlder), and the name not published before with other bytes. Before
// anything is written, the result passes the updater's own verification, so
// a release the updater would refuse fails here with the updater's message.
// The record of published installers is renamed into place first, so it
// never misses an installer the directory served, then the installer, so
// the new metadata never names an installer that is not there.
ReleaseMetadata SignRelease(const SignRequest& request);

// The public key of a file as GenerateKeyFiles writes it; refuses a key the
// updater's build would refuse.
Ed25519PublicKey ReadPublicKeyFile(const std::filesystem::path& path);

// Verifies a feed directory exactly as the updater does, with the given
// public key instead of the built-in one.
ReleaseMetadata VerifyFeedDirectory(const Ed25519PublicKey& publicKey, const std::filesystem::path& directory);

}  // namespace ostrel
