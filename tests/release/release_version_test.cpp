#include "release/release_version.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace ostrel {
namespace {

// The failure's message, or "" when the parse succeeds.
std::string ParseFailure(std::string_view text) {
  try {
    ParseReleaseVersion(text);
  } catch (const std::runtime_error& failure) {
    return failure.what();
  }
  return "";
}

TEST(ParseReleaseVersionTest, ReadsNumbersAndPrereleaseIdentifiers) {
  ReleaseVersion version = ParseReleaseVersion("999999999.0.12-rc.0.x-y.--");
  EXPECT_EQ(version.major, 999999999u);
  EXPECT_EQ(version.minor, 0u);
  EXPECT_EQ(version.patch, 12u);
  EXPECT_EQ(version.prerelease, (std::vector<std::string>{"rc", "0", "x-y", "--"}));
  EXPECT_TRUE(ParseReleaseVersion("1.2.3").prerelease.empty());
}

struct VersionTextCase {
  std::string text;
  const char* failure;  // "" for a valid text
};

class VersionTextTest : public testing::TestWithParam<VersionTextCase> {};

TEST_P(VersionTextTest, AcceptsOrNamesTheFault) { EXPECT_EQ(ParseFailure(GetParam().text), GetParam().failure); }

constexpr const char* Valid = "";
constexpr const char* Invalid = "Invalid release version";
constexpr const char* LeadingZero = "Invalid numeric prerelease identifier";

// 1.0.0- followed by identifiers: exactly 128 bytes, and one more.
const std::string LongestVersion = "1.0.0-" + std::string(122, 'a');

INSTANTIATE_TEST_SUITE_P(
    Texts, VersionTextTest,
    testing::Values(VersionTextCase{"0.0.0", Valid}, VersionTextCase{"999999999.999999999.999999999", Valid},
                    VersionTextCase{"1.2.3-0", Valid}, VersionTextCase{"1.2.3-0a", Valid},
                    VersionTextCase{"1.2.3-0-1", Valid}, VersionTextCase{"1.2.3-rc.0", Valid},
                    VersionTextCase{"1.2.3--", Valid}, VersionTextCase{"1.2.3---", Valid},
                    VersionTextCase{LongestVersion, Valid}, VersionTextCase{LongestVersion + "a", Invalid},
                    VersionTextCase{"1.0.0-" + std::string(123, '1'), Invalid},
                    VersionTextCase{"1000000000.0.0", Invalid}, VersionTextCase{"0.1000000000.0", Invalid},
                    VersionTextCase{"01.2.3", Invalid}, VersionTextCase{"1.02.3", Invalid},
                    VersionTextCase{"1.2", Invalid}, VersionTextCase{"1.2.3.4", Invalid},
                    VersionTextCase{"v1.2.3", Invalid}, VersionTextCase{" 1.2.3", Invalid},
                    VersionTextCase{"1.2.3 ", Invalid}, VersionTextCase{"1.2.3\n", Invalid},
                    VersionTextCase{"1.2.3+build.5", Invalid}, VersionTextCase{"1.2.3-", Invalid},
                    VersionTextCase{"1.2.3-alpha..1", Invalid}, VersionTextCase{"1.2.3-alpha.", Invalid},
                    VersionTextCase{"1.2.3-\xC3\xA9", Invalid}, VersionTextCase{std::string("1.2.3\0", 6), Invalid},
                    VersionTextCase{"", Invalid}, VersionTextCase{"-1.2.3", Invalid},
                    VersionTextCase{"1.2.3-01", LeadingZero}, VersionTextCase{"1.2.3-rc.00", LeadingZero},
                    // The first offending identifier stops the parse, even before a later fault.
                    VersionTextCase{"1.2.3-00.01", LeadingZero}));

// The sign of every ordered pair of the list, which ascends strictly.
class AscendingChainTest : public testing::TestWithParam<std::vector<std::string>> {};

TEST_P(AscendingChainTest, EveryPairComparesByItsPosition) {
  const auto& chain = GetParam();
  for (std::size_t i = 0; i < chain.size(); ++i) {
    for (std::size_t j = 0; j < chain.size(); ++j) {
      int expected = i < j ? -1 : (i > j ? 1 : 0);
      EXPECT_EQ(CompareReleaseVersions(chain[i], chain[j]), expected) << chain[i] << " vs " << chain[j];
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Chains, AscendingChainTest,
    testing::Values(
        std::vector<std::string>{"1.0.0-alpha", "1.0.0-alpha.1", "1.0.0-alpha.beta", "1.0.0-beta", "1.0.0-beta.2",
                                 "1.0.0-beta.11", "1.0.0-rc.1", "1.0.0"},
        std::vector<std::string>{"0.0.0", "0.0.1", "0.1.0", "1.9.0", "1.10.0", "2.0.0", "999999999.0.0"},
        std::vector<std::string>{"1.0.0-9", "1.0.0-10", "1.0.0-1a", "1.0.0-A", "1.0.0-a"},
        std::vector<std::string>{"1.0.0--", "1.0.0-0a", "1.0.0-x", "1.0.0-x.0", "1.0.0-x.0.0", "1.0.0-x.-"},
        std::vector<std::string>{"1.0.0-1111111111111111111111111111111111111110",
                                 "1.0.0-1111111111111111111111111111111111111111",
                                 "1.0.0-11111111111111111111111111111111111111111"}));

TEST(CompareReleaseVersionsTest, EqualPrecedenceIsZero) {
  EXPECT_EQ(CompareReleaseVersions("1.2.3-rc.1", "1.2.3-rc.1"), 0);
  EXPECT_EQ(CompareReleaseVersions("0.0.0", "0.0.0"), 0);
}

TEST(CompareReleaseVersionsTest, ReportsTheFirstInvalidArgument) {
  EXPECT_EQ(ParseFailure("1.2"), Invalid);
  try {
    CompareReleaseVersions("1.2.3-01", "1.2");
    FAIL() << "nothing raised";
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), LeadingZero);
  }
  try {
    CompareReleaseVersions("1.2.3", "1.2.3-01");
    FAIL() << "nothing raised";
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), LeadingZero);
  }
  EXPECT_THROW(CompareReleaseVersions("1.2", "1.2.3"), std::runtime_error);
}

}  // namespace
}  // namespace ostrel
