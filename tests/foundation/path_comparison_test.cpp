#include "foundation/path_comparison.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {
namespace {

struct NormalCase {
  std::u16string path;
  std::u16string normal;
};

class NormalizePathTest : public testing::TestWithParam<NormalCase> {};

TEST_P(NormalizePathTest, GivesTheLexicallyNormalForm) {
  EXPECT_EQ(NormalizePath(GetParam().path), GetParam().normal);
  EXPECT_EQ(NormalizePath(GetParam().normal), GetParam().normal) << "normal forms are stable";
}

INSTANTIATE_TEST_SUITE_P(
    Paths, NormalizePathTest,
    testing::Values(NormalCase{u"", u""}, NormalCase{u"a\\..", u"."}, NormalCase{u"a\\..\\..", u".."},
                    NormalCase{u"a\\..\\", u"."}, NormalCase{u"..\\", u".."}, NormalCase{u".", u"."},
                    NormalCase{u"a\\.", u"a\\"}, NormalCase{u"a/./b", u"a\\b"}, NormalCase{u"./a", u"a"},
                    NormalCase{u"C:\\a\\.\\b", u"C:\\a\\b"}, NormalCase{u"C:\\a\\x\\..\\b", u"C:\\a\\b"},
                    NormalCase{u"C:\\..\\a", u"C:\\a"}, NormalCase{u"C:\\..\\..\\", u"C:\\"},
                    NormalCase{u"C:..\\a", u"C:..\\a"}, NormalCase{u"..\\..\\a", u"..\\..\\a"},
                    NormalCase{u"a\\b\\..\\..\\..\\c", u"..\\c"}, NormalCase{u"a\\..\\b\\..\\c", u"c"},
                    NormalCase{u"C:/a//b///", u"C:\\a\\b\\"}, NormalCase{u"C:////a", u"C:\\a"},
                    NormalCase{u"//server/share/../x", u"\\\\server\\x"}, NormalCase{u"//?/C:/a", u"\\\\?\\C:\\a"},
                    NormalCase{u"C:\\a..b\\..c", u"C:\\a..b\\..c"}, NormalCase{u"C:\\a\\...", u"C:\\a\\..."}));

struct SameCase {
  std::u16string left;
  std::u16string right;
  bool same;
};

class SamePathTest : public testing::TestWithParam<SameCase> {};

TEST_P(SamePathTest, ComparesNormalFormsIgnoringAsciiCase) {
  EXPECT_EQ(SamePath(GetParam().left, GetParam().right), GetParam().same);
  EXPECT_EQ(SamePath(GetParam().right, GetParam().left), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SamePathTest,
    testing::Values(SameCase{u"C:\\Program Files\\Ostrel\\Updater\\OstrelUpdate.exe",
                             u"c:/program files/ostrel/updater/OSTRELUPDATE.EXE", true},
                    SameCase{u"C:\\a\\.\\b", u"C:\\a\\b", true}, SameCase{u"C:\\a\\x\\..\\b", u"C:\\a\\b", true},
                    SameCase{u"C:\\..\\a", u"C:\\a", true}, SameCase{u"C:/a/", u"C:/a", false},
                    SameCase{u"\\\\?\\C:\\a", u"C:\\a", false}, SameCase{u"C:\\a", u"C:\\ab", false},
                    SameCase{u"C:\\a", u"D:\\a", false}, SameCase{u"C:a", u"C:\\a", false},
                    SameCase{u"C:\\PROGRA~1\\x", u"C:\\Program Files\\x", false},
                    // Only A to Z fold: other letters must match exactly.
                    SameCase{u"C:\\\u00C4", u"C:\\\u00E4", false}, SameCase{u"C:\\\u0130", u"C:\\i", false},
                    SameCase{u"C:\\[", u"C:\\{", false}, SameCase{u"C:\\@", u"C:\\`", false},
                    SameCase{u"", u".", false}, SameCase{u"a\\..", u".", true}));

}  // namespace
}  // namespace ostrel
