#include "tools/ostrel-release/published_installers.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "foundation/failure.h"
#include "foundation/hex_text.h"
#include "release/release_metadata.h"
#include "tools/ostrel-release/local_file.h"

namespace ostrel {
namespace {

constexpr std::string_view Separator = "  ";
constexpr std::size_t Sha512HexLength = 128;

std::string LineOf(const std::string& name, const std::string& sha512) {
  return sha512 + std::string(Separator) + name + '\n';
}

bool IsSha512Hex(std::string_view text) {
  return text.size() == Sha512HexLength &&
         std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// The installers a feed directory holds, in name order so that they are
// recorded in the same order on every machine.
std::vector<std::string> InstallersIn(const std::filesystem::path& directory) {
  std::vector<std::string> names;
  if (!std::filesystem::is_directory(directory)) return names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && IsInstallerFileName(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

PublishedInstallers::PublishedInstallers(const std::filesystem::path& directory) {
  std::filesystem::path file = directory / PublishedInstallersFile;
  if (std::filesystem::exists(file)) {
    std::ifstream input(file, std::ios::binary);
    Require(!input.fail(), "published-installers.sha512 cannot be read");
    std::string line;
    for (int number = 1; std::getline(input, line); ++number) {
      std::string sha512 = line.substr(0, Sha512HexLength);
      std::string name = line.size() > Sha512HexLength + Separator.size()
                             ? line.substr(Sha512HexLength + Separator.size()) : std::string();
      if (!IsSha512Hex(sha512) || line.compare(Sha512HexLength, Separator.size(), Separator) != 0 ||
          !IsInstallerFileName(name)) {
        throw std::runtime_error(std::string(PublishedInstallersFile) + " line " + std::to_string(number) +
                                 " is not \"<SHA-512 in lower-case hex>  <installer name>\"");
      }
      digests_.emplace(name, sha512);
      listed_ += line + '\n';
    }
    Require(input.eof() && !input.bad(), "published-installers.sha512 read was incomplete");
  }
  for (const std::string& name : InstallersIn(directory)) {
    if (!digests_.contains(name)) Add(name, HexText(DigestLocalInstaller(directory / name).sha512));
  }
}

void PublishedInstallers::RequireNoOtherBytes(const std::string& name, const Sha512Digest& sha512) const {
  std::string hex = HexText(sha512);
  auto [first, last] = digests_.equal_range(name);
  if (std::any_of(first, last, [&hex](const auto& published) { return published.second != hex; })) {
    throw std::runtime_error(name + " was published before with other bytes (their SHA-512 is in " +
                             PublishedInstallersFile +
                             "): caches may keep serving them under this name, so give this installer a new name");
  }
}

std::string PublishedInstallers::ContentWith(const std::string& name, const Sha512Digest& sha512) const {
  std::string content = listed_ + added_;
  // Once RequireNoOtherBytes passed, a listed name is listed with these bytes.
  if (!digests_.contains(name)) content += LineOf(name, HexText(sha512));
  return content;
}

void PublishedInstallers::Add(const std::string& name, const std::string& sha512) {
  digests_.emplace(name, sha512);
  added_ += LineOf(name, sha512);
}

}  // namespace ostrel
