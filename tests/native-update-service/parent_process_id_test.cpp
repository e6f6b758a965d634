#include "native-update-service/parent_process_id.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace ostrel {
namespace {

struct ParentIdCase {
  std::u16string text;
  std::uint32_t id;     // the id read, when no message is expected
  const char* message;  // the failure's text, or nullptr
};

class ParentProcessIdTest : public testing::TestWithParam<ParentIdCase> {};

TEST_P(ParentProcessIdTest, ReadsOrRefusesTheId) {
  const ParentIdCase& c = GetParam();
  if (c.message == nullptr) {
    EXPECT_EQ(ParseParentProcessId(c.text), c.id);
    return;
  }
  try {
    ParseParentProcessId(c.text);
    FAIL() << "nothing raised";
  } catch (const std::exception& failure) {
    EXPECT_STREQ(failure.what(), c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParentProcessIdTest,
    testing::Values(ParentIdCase{u"1234", 1234, nullptr}, ParentIdCase{u"4294967295", 4294967295u, nullptr},
                    ParentIdCase{u"+77", 77, nullptr},
                    // Leading white space is skipped by the conversion and counts as consumed.
                    ParentIdCase{u" \t12", 12, nullptr}, ParentIdCase{u"000000000000000000042", 42, nullptr},
                    // As on Windows, a minus sign negates modulo 2^32.
                    ParentIdCase{u"-1", 4294967295u, nullptr},
                    ParentIdCase{u"0", 0, "Invalid updater parent"},
                    ParentIdCase{u"-0", 0, "Invalid updater parent"},
                    ParentIdCase{u"12x", 0, "Invalid updater parent"},
                    ParentIdCase{u"12 ", 0, "Invalid updater parent"},
                    ParentIdCase{u"0x1A", 0, "Invalid updater parent"},
                    ParentIdCase{u"x12", 0, "invalid stoul argument"}, ParentIdCase{u"", 0, "invalid stoul argument"},
                    ParentIdCase{u" ", 0, "invalid stoul argument"}, ParentIdCase{u"+", 0, "invalid stoul argument"},
                    ParentIdCase{u"-x", 0, "invalid stoul argument"},
                    // Windows' conversion reads full-width and other scripts' digits as
                    // digits; the id the service writes is ASCII, so they are refused.
                    ParentIdCase{u"\uFF11\uFF12", 0, "invalid stoul argument"},
                    ParentIdCase{u"12\uFF13", 0, "Invalid updater parent"},
                    ParentIdCase{u"\u0661\u0662", 0, "invalid stoul argument"},  // Arabic-Indic
                    ParentIdCase{u"4294967296", 0, "stoul argument out of range"},
                    ParentIdCase{u"-4294967296", 0, "stoul argument out of range"},
                    ParentIdCase{u"99999999999999999999999x", 0, "stoul argument out of range"}));

TEST(ParentProcessIdFailureKindTest, ConversionFailuresAreTheStandardOnes) {
  EXPECT_THROW(ParseParentProcessId(u"x12"), std::invalid_argument);
  EXPECT_THROW(ParseParentProcessId(u"4294967296"), std::out_of_range);
  EXPECT_THROW(ParseParentProcessId(u"0"), std::runtime_error);
}

}  // namespace
}  // namespace ostrel
