// A release as the publisher puts it on the feed: its installer, and the
// release.json and release.sig that describe it, signed with the test key.
#pragma once

#include <string>
#include <string_view>

#include "release/release_metadata.h"
#include "release/sha512_hash.h"
#include "release_test_key.h"
#include "tools/ostrel-release/release_signing.h"

namespace ostrel::test {

struct PublishedRelease {
  std::string version;
  std::string file;
  std::string installer;
  std::string metadata;
  std::string signature;
};

// The installer's content and file name follow from the version unless given.
inline PublishedRelease Publish(const std::string& version, std::string installer = "", std::string file = "") {
  PublishedRelease release;
  release.version = version;
  release.file = file.empty() ? "Ostrel-Setup-" + version + ".exe" : std::move(file);
  release.installer = installer.empty() ? "installer of " + version : std::move(installer);
  Sha512Hash hash;
  hash.Update(release.installer.data(), release.installer.size());
  release.metadata = "{\"version\":\"" + version + "\",\"file\":\"" + release.file +
                     "\",\"size\":" + std::to_string(release.installer.size()) + ",\"sha512\":\"" +
                     EncodeBase64(hash.Finish()) + "\",\"runtime\":\"chromium-native\"}";
  release.signature = SignReleaseMetadata(ReleaseTestKeyPem, release.metadata);
  return release;
}

}  // namespace ostrel::test
