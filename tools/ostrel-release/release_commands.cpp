#include "tools/ostrel-release/release_commands.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <charconv>
#include <fstream>

#include "foundation/failure.h"
#include "foundation/hex_text.h"
#include "release/ed25519_public_key.h"
#include "release/release_version.h"
#include "release/sha512_hash.h"
#include "tools/ostrel-release/feed_directory.h"
#include "tools/ostrel-release/local_file.h"
#include "tools/ostrel-release/release_signing.h"

namespace ostrel {
namespace {

constexpr std::uint64_t KeyFileLimit = 4096;

std::string ReadKeyFile(const std::filesystem::path& path) {
  return ReadLocalFile(path, KeyFileLimit, {"Key file is empty or too large", "Key file cannot be read"});
}

// Like ssh, the tool signs only with a key file that nobody but its owner
// can read or change.
std::string ReadPrivateKeyFile(const std::filesystem::path& path) {
  constexpr auto OthersAccess = std::filesystem::perms::group_all | std::filesystem::perms::others_all;
  Require((std::filesystem::status(path).permissions() & OthersAccess) == std::filesystem::perms::none,
          "Private key file is accessible to group or others");
  return ReadKeyFile(path);
}

std::string PublicKeyText(const Ed25519PublicKey& key) { return HexText(key) + '\n'; }

Ed25519PublicKey ParsePublicKeyText(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  Ed25519PublicKey key;
  Require(text.size() == key.size() * 2, "Invalid release public key");
  for (std::size_t i = 0; i < key.size(); ++i) {
    const char* digits = text.data() + i * 2;
    auto [end, error] = std::from_chars(digits, digits + 2, key[i], 16);
    Require(error == std::errc() && end == digits + 2, "Invalid release public key");
  }
  Require(IsStrongEd25519PublicKey(key), "Release key is of small order or off the curve");
  return key;
}

struct FileDigest {
  std::uint64_t size = 0;
  Sha512Digest sha512{};
};

// A device or a pipe would be read forever or give other bytes each time.
void RequireRegularFile(const std::filesystem::path& path) {
  std::filesystem::file_type type = std::filesystem::status(path).type();
  Require(type != std::filesystem::file_type::not_found, "Installer does not exist");
  Require(type == std::filesystem::file_type::regular, "Installer is not a regular file");
}

FileDigest DigestFile(const std::filesystem::path& path) {
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

// release.json as the feed publishes it; the signature covers these exact
// bytes, so the layout is free and chosen for people reading the feed.
std::string ReleaseDocument(const std::string& version, const std::string& file, const FileDigest& digest) {
  nlohmann::ordered_json document;
  document["version"] = version;
  document["file"] = file;
  document["size"] = digest.size;
  document["sha512"] = EncodeBase64(digest.sha512);
  document["runtime"] = "chromium-native";
  // Replacing invalid UTF-8 keeps a malformed argument from stopping the
  // serialisation; the updater's checks then refuse it with their message.
  return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n';
}

// Publishing a release no newer than the feed's would offer clients nothing,
// or take back a release they may have installed; only an explicit request
// does it. The feed's release counts only once it verifies with the key.
void RequireNewerThanFeed(const std::string& version, const std::filesystem::path& directory,
                          const Ed25519PublicKey& publicKey) {
  if (!std::filesystem::exists(directory / "release.json")) return;
  ReleaseMetadata published;
  try {
    published = VerifyReleaseMetadata(ReadLocalFile(directory / "release.json", ReleaseMetadataLimit),
                                      ReadLocalFile(directory / "release.sig", ReleaseSignatureLimit), publicKey);
  } catch (const std::exception& failure) {
    throw std::runtime_error(std::string("The feed's current release does not verify: ") + failure.what());
  }
  if (CompareReleaseVersions(version, published.version) <= 0) {
    throw std::runtime_error("Version " + version + " is not newer than the feed's " + published.version +
                             " (--allow-older publishes it anyway)");
  }
}

}  // namespace

void GenerateKeyFiles(const std::filesystem::path& privateKey, const std::filesystem::path& publicKey) {
  for (const auto& path : {privateKey, publicKey}) {
    Require(!std::filesystem::exists(std::filesystem::symlink_status(path)), "Key file already exists");
  }
  ReleaseKeyPair pair = GenerateReleaseKey();
  WriteNewFile(privateKey, pair.privateKeyPem, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  try {
    WriteNewFile(publicKey, PublicKeyText(pair.publicKey), std::filesystem::perms(0644));
  } catch (...) {
    std::filesystem::remove(privateKey);
    throw;
  }
}

ReleaseMetadata SignRelease(const SignRequest& request) {
  ParseReleaseVersion(request.version);
  std::string file = request.installer.filename().string();
  ValidateInstallerFileName(file);
  RequireRegularFile(request.installer);
  std::string privateKeyPem = ReadPrivateKeyFile(request.privateKey);
  Ed25519PublicKey publicKey = PublicKeyOf(privateKeyPem);
  if (!request.allowOlder) RequireNewerThanFeed(request.version, request.directory, publicKey);
  std::string document = ReleaseDocument(request.version, file, DigestFile(request.installer));
  std::string signature = SignReleaseMetadata(privateKeyPem, document);
  ReleaseMetadata release = VerifyReleaseMetadata(document, signature, publicKey);

  FeedDirectoryWrite feed(request.directory);
  // The copy is what the updater will download: verify it, not the source.
  VerifyLocalInstaller(feed.StageCopy(release.file, request.installer), release);
  feed.Stage("release.json", document);
  feed.Stage("release.sig", signature);
  feed.Commit();
  return release;
}

ReleaseMetadata VerifyFeedDirectory(const std::filesystem::path& publicKey, const std::filesystem::path& directory) {
  Ed25519PublicKey key = ParsePublicKeyText(ReadKeyFile(publicKey));
  std::string metadata = ReadLocalFile(directory / "release.json", ReleaseMetadataLimit);
  std::string signature = ReadLocalFile(directory / "release.sig", ReleaseSignatureLimit);
  ReleaseMetadata release = VerifyReleaseMetadata(metadata, signature, key);
  VerifyLocalInstaller(directory / release.file, release);
  return release;
}

}  // namespace ostrel
