#include "release/release_version.h"

#include <algorithm>
#include <regex>

#include "foundation/failure.h"

namespace ostrel {
namespace {

constexpr std::size_t MaximumVersionLength = 128;

// Compiled on the first parse; the initialisation of a function-local static
// is thread-safe, and the expression is only read afterwards.
const std::regex& VersionExpression() {
  static const std::regex expression(
      R"(^(0|[1-9][0-9]{0,8})\.(0|[1-9][0-9]{0,8})\.(0|[1-9][0-9]{0,8})(?:-([A-Za-z0-9-]+(?:\.[A-Za-z0-9-]+)*))?$)",
      std::regex::ECMAScript);
  return expression;
}

bool IsNumericIdentifier(std::string_view identifier) {
  return std::all_of(identifier.begin(), identifier.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Nine digits at most, as the expression guarantees: never overflows.
std::uint32_t ToNumber(const std::csub_match& digits) {
  std::uint32_t number = 0;
  for (char digit : digits.str()) number = number * 10 + static_cast<std::uint32_t>(digit - '0');
  return number;
}

int Sign(int value) { return (value > 0) - (value < 0); }

// Numeric identifiers carry no leading zero, so the longer one is the larger,
// and equal lengths compare digit by digit: no conversion, no length limit.
int CompareIdentifiers(std::string_view a, std::string_view b) {
  bool aNumeric = IsNumericIdentifier(a);
  bool bNumeric = IsNumericIdentifier(b);
  if (aNumeric != bNumeric) return aNumeric ? -1 : 1;
  if (aNumeric && a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  // string_view compares as unsigned bytes, the shorter prefix first.
  return Sign(a.compare(b));
}

int ComparePrereleases(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.empty() && b.empty()) return 0;
  if (a.empty()) return 1;  // a release ranks above any of its prereleases
  if (b.empty()) return -1;
  std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (int order = CompareIdentifiers(a[i], b[i]); order != 0) return order;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

ReleaseVersion ParseReleaseVersion(std::string_view text) {
  Require(text.size() <= MaximumVersionLength, "Invalid release version");
  std::cmatch match;
  Require(std::regex_match(text.data(), text.data() + text.size(), match, VersionExpression()),
          "Invalid release version");

  ReleaseVersion version;
  version.major = ToNumber(match[1]);
  version.minor = ToNumber(match[2]);
  version.patch = ToNumber(match[3]);
  if (!match[4].matched) return version;

  std::string_view identifiers(match[4].first, static_cast<std::size_t>(match[4].length()));
  for (std::size_t start = 0; start <= identifiers.size();) {
    std::size_t end = std::min(identifiers.find('.', start), identifiers.size());
    std::string_view identifier = identifiers.substr(start, end - start);
    Require(!(identifier.size() > 1 && identifier[0] == '0' && IsNumericIdentifier(identifier)),
            "Invalid numeric prerelease identifier");
    version.prerelease.emplace_back(identifier);
    start = end + 1;
  }
  return version;
}

int CompareReleaseVersions(std::string_view a, std::string_view b) {
  ReleaseVersion first = ParseReleaseVersion(a);
  ReleaseVersion second = ParseReleaseVersion(b);
  for (auto [x, y] : {std::pair{first.major, second.major}, std::pair{first.minor, second.minor},
                      std::pair{first.patch, second.patch}}) {
    if (x != y) return x < y ? -1 : 1;
  }
  return ComparePrereleases(first.prerelease, second.prerelease);
}

}  // namespace ostrel
