#include "release/release_metadata.h"

#include <algorithm>
#include <cmath>
#include <regex>
#include <vector>

#include "build_configuration.h"
#include "foundation/failure.h"
#include "foundation/json_access.h"
#include "foundation/text_conversion.h"
#include "release/base64_decoding.h"
#include "release/release_version.h"

namespace ostrel {
namespace {

constexpr double MaximumInstallerSize = 1073741824;  // 1 GiB

// Compiled on first use; the initialisation of a function-local static is
// thread-safe, and the expression is only read afterwards.
const std::regex& InstallerFileNameExpression() {
  static const std::regex expression(R"(^Ostrel-Setup-[A-Za-z0-9.-]{1,100}\.exe$)", std::regex::ECMAScript);
  return expression;
}

template <std::size_t Size>
std::array<std::uint8_t, Size> DecodeBase64Array(std::string_view text) {
  std::vector<std::uint8_t> bytes = DecodeBase64Exact(text, Size);
  std::array<std::uint8_t, Size> result;
  std::copy(bytes.begin(), bytes.end(), result.begin());
  return result;
}

}  // namespace

ReleaseMetadata VerifyReleaseMetadata(std::string_view metadata, std::string_view signature) {
  return VerifyReleaseMetadata(metadata, signature, ReleasePublicKey);
}

ReleaseMetadata VerifyReleaseMetadata(std::string_view metadata, std::string_view signature,
                                      const Ed25519PublicKey& publicKey) {
  Require(!metadata.empty() && metadata.size() <= ReleaseMetadataLimit && !signature.empty() &&
              signature.size() <= ReleaseSignatureLimit,
          "Invalid release metadata");
  auto decodedSignature = DecodeBase64Array<std::tuple_size_v<Ed25519Signature>>(signature);
  Require(VerifyReleaseSignature(metadata, decodedSignature, publicKey), "Release signature mismatch");
  return ReadReleaseMetadata(metadata);
}

bool IsInstallerFileName(const std::string& file) { return std::regex_match(file, InstallerFileNameExpression()); }

void ValidateInstallerFileName(const std::string& file) { Require(IsInstallerFileName(file), "Invalid installer filename"); }

ReleaseMetadata ReadReleaseMetadata(std::string_view metadata) {
  JsonObject document = JsonObject::Parse(ToUtf16(metadata));
  ReleaseMetadata release;

  release.version = ToUtf8(document.GetNamedString(u"version"));
  ParseReleaseVersion(release.version);

  release.file = ToUtf8(document.GetNamedString(u"file"));
  ValidateInstallerFileName(release.file);

  double size = document.GetNamedNumber(u"size");
  Require(std::isfinite(size) && size == std::trunc(size) && size >= 1 && size <= MaximumInstallerSize,
          "Invalid installer size");
  release.size = static_cast<std::uint64_t>(size);

  release.sha512 = DecodeBase64Array<std::tuple_size_v<Sha512Digest>>(ToUtf8(document.GetNamedString(u"sha512")));

  release.runtimeMatches = document.GetNamedString(u"runtime", u"") == u"chromium-native";
  Require(release.runtimeMatches, "Release belongs to a different runtime");
  return release;
}

}  // namespace ostrel
