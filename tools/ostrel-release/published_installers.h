// The feed directory's memory of the installers it has published. Caches
// keep an installer under its name for as long as they like, so a name,
// once published, must never stand for other bytes, even after its file has
// left the directory. The memory is the file published-installers.sha512:
// one line "<SHA-512 in lower-case hex>  <name>" per installer, the format
// sha512sum writes and checks, only ever added to.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "release/sha512_hash.h"

namespace ostrel {

inline constexpr const char* PublishedInstallersFile = "published-installers.sha512";

class PublishedInstallers {
 public:
  // The installers the directory's file lists, and those the directory holds
  // that it does not list yet (every one, in a directory published before
  // the file existed), which are digested now. Fails on a line of another
  // form: a guard that skipped lines would let their names be reused.
  explicit PublishedInstallers(const std::filesystem::path& directory);

  // Fails, naming the installer and what to do, when the name was
  // published with other bytes.
  void RequireNoOtherBytes(const std::string& name, const Sha512Digest& sha512) const;

  // The file's new content with the installer among the published: its lines
  // unchanged, then one for each installer the file did not list.
  std::string ContentWith(const std::string& name, const Sha512Digest& sha512) const;

 private:
  void Add(const std::string& name, const std::string& sha512);

  std::string listed_;                              // the file's lines, each ending in a line break
  std::string added_;                               // lines for the installers it did not list
  std::multimap<std::string, std::string> digests_;  // name, SHA-512 in hex
};

}  // namespace ostrel
