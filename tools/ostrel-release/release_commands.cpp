#include "tools/ostrel-release/release_commands.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <charconv>
#include <fstream>

#include "foundation/failure.h"
#include "foundation/hex_text.h"
#include "release/ed25519_public_key.h"
#include "release/release_version.h"
#include "tools/ostrel-release/feed_directory.h"
#include "tools/ostrel-release/local_file.h"
#include "tools/ostrel-release/published_installers.h"
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

// Caches keep an installer under its name, and people read the version from
// it: the name ends in the version, as Ostrel-Setup-1.2.3.exe does for
// 1.2.3, and no digit or dot before it makes it part of another version
// (11.2.3, 0.1.2.3).
void RequireVersionInName(const std::string& file, const std::string& version) {
  std::string ending = version + ".exe";
  // A valid installer name starts with "Ostrel-Setup-", so an ending it
  // matches leaves a character before it.
  char before = file.size() > ending.size() ? file[file.size() - ending.size() - 1] : '-';
  if (file.ends_with(ending) && !std::isdigit(static_cast<unsigned char>(before)) && before != '.') return;
  throw std::runtime_error("Installer name " + file + " does not carry version " + version + ": name it Ostrel-Setup-" +
                           ending + " (--allow-name-without-version publishes it anyway)");
}

// A device or a pipe would be read forever or give other bytes each time.
void RequireRegularFile(const std::filesystem::path& path) {
  std::filesystem::file_type type = std::filesystem::status(path).type();
  Require(type != std::filesystem::file_type::not_found, "Installer does not exist");
  Require(type == std::filesystem::file_type::regular, "Installer is not a regular file");
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

Ed25519PublicKey GenerateKeyFiles(const std::filesystem::path& privateKey, const std::filesystem::path& publicKey) {
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
  return pair.publicKey;
}

ReleaseMetadata SignRelease(const SignRequest& request) {
  ParseReleaseVersion(request.version);
  std::string file = request.installer.filename().string();
  ValidateInstallerFileName(file);
  if (!request.allowNameWithoutVersion) RequireVersionInName(file, request.version);
  RequireRegularFile(request.installer);
  std::string privateKeyPem = ReadPrivateKeyFile(request.privateKey);
  Ed25519PublicKey publicKey = PublicKeyOf(privateKeyPem);
  if (!request.allowOlder) RequireNewerThanFeed(request.version, request.directory, publicKey);
  FileDigest digest = DigestLocalInstaller(request.installer);
  PublishedInstallers published(request.directory);
  published.RequireNoOtherBytes(file, digest.sha512);
  std::string document = ReleaseDocument(request.version, file, digest);
  std::string signature = SignReleaseMetadata(privateKeyPem, document);
  ReleaseMetadata release = VerifyReleaseMetadata(document, signature, publicKey);

  FeedDirectoryWrite feed(request.directory);
  feed.Stage(PublishedInstallersFile, published.ContentWith(file, digest.sha512));
  // The copy is what the updater will download: verify it, not the source.
  VerifyLocalInstaller(feed.StageCopy(release.file, request.installer), release);
  feed.Stage("release.json", document);
  feed.Stage("release.sig", signature);
  feed.Commit();
  return release;
}

Ed25519PublicKey ReadPublicKeyFile(const std::filesystem::path& path) { return ParsePublicKeyText(ReadKeyFile(path)); }

ReleaseMetadata VerifyFeedDirectory(const Ed25519PublicKey& key, const std::filesystem::path& directory) {
  std::string metadata = ReadLocalFile(directory / "release.json", ReleaseMetadataLimit);
  std::string signature = ReadLocalFile(directory / "release.sig", ReleaseSignatureLimit);
  ReleaseMetadata release = VerifyReleaseMetadata(metadata, signature, key);
  VerifyLocalInstaller(directory / release.file, release);
  return release;
}

}  // namespace ostrel
