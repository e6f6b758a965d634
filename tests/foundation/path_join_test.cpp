#include "foundation/path_join.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {
namespace {

struct JoinCase {
  std::u16string base;
  std::u16string name;
  std::u16string joined;
};

class JoinPathTest : public testing::TestWithParam<JoinCase> {};

TEST_P(JoinPathTest, AppendsTheName) {
  EXPECT_EQ(JoinPath(GetParam().base, GetParam().name), GetParam().joined);
}

INSTANTIATE_TEST_SUITE_P(
    PlainNames, JoinPathTest,
    testing::Values(JoinCase{u"C:\\dir", u"x", u"C:\\dir\\x"}, JoinCase{u"C:/dir/", u"x", u"C:/dir/x"},
                    JoinCase{u"C:\\dir\\", u"x", u"C:\\dir\\x"}, JoinCase{u"C:", u"x", u"C:x"},
                    JoinCase{u"", u"x", u"x"}, JoinCase{u"C:\\", u"Program Files", u"C:\\Program Files"},
                    JoinCase{u"\\\\server", u"share", u"\\\\server\\share"},
                    JoinCase{u"C:\\a", u"b\\c/", u"C:\\a\\b\\c/"}, JoinCase{u"C:\\a", u"..", u"C:\\a\\.."}));

INSTANTIATE_TEST_SUITE_P(
    RootedNames, JoinPathTest,
    testing::Values(JoinCase{u"C:\\a", u"\\b", u"C:\\b"}, JoinCase{u"C:\\a", u"D:\\b", u"D:\\b"},
                    JoinCase{u"C:", u"\\", u"C:\\"}, JoinCase{u"C:", u"//", u"C://"},
                    JoinCase{u"C:\\a", u"D:b", u"D:b"}, JoinCase{u"C:\\a", u"c:b", u"c:b"},
                    JoinCase{u"C:\\a", u"C:b", u"C:\\a\\b"}, JoinCase{u"C:", u"C:b", u"C:b"},
                    JoinCase{u"a", u"\\b", u"\\b"}, JoinCase{u"C:\\a", u"\\\\server\\x", u"\\\\server\\x"},
                    JoinCase{u"x", u"\\\\?\\C:\\a", u"\\\\?\\C:\\a"}));

INSTANTIATE_TEST_SUITE_P(
    EmptyNames, JoinPathTest,
    testing::Values(JoinCase{u"C:\\a", u"", u"C:\\a\\"}, JoinCase{u"C:\\a\\", u"", u"C:\\a\\"},
                    JoinCase{u"C:\\", u"", u"C:\\"}, JoinCase{u"C:", u"", u"C:"}, JoinCase{u"", u"", u""},
                    JoinCase{u"\\\\server", u"", u"\\\\server\\"}));

}  // namespace
}  // namespace ostrel
