// Release versions: Semantic Versioning 2.0.0 without build metadata, each
// number at most nine digits, the whole text at most 128 bytes. Versions
// travel as text; the parsed form exists only for a check or a comparison.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

struct ReleaseVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t patch = 0;
  // The dot-separated identifiers after the first "-", in text order.
  std::vector<std::string> prerelease;
};

// Parses the UTF-8 text of a version. Fails with "Invalid release version"
// or "Invalid numeric prerelease identifier". Callers that only validate a
// text call it and discard the result.
ReleaseVersion ParseReleaseVersion(std::string_view text);

// -1, 0 or +1 as a has lower, equal or higher precedence than b. Parses a
// first, so when both are invalid a's failure is the one raised.
int CompareReleaseVersions(std::string_view a, std::string_view b);

}  // namespace ostrel
