#include "foundation/path_grammar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {
namespace {

struct GrammarCase {
  std::u16string path;
  RootNameKind kind;
  bool absolute;
  std::vector<std::u16string> elements;
  std::u16string rootPath;
  std::u16string parentPath;
};

class PathGrammarTest : public testing::TestWithParam<GrammarCase> {};

TEST_P(PathGrammarTest, TakesThePathApart) {
  const GrammarCase& c = GetParam();
  EXPECT_EQ(SplitPath(c.path).rootNameKind, c.kind);
  EXPECT_EQ(IsAbsolutePath(c.path), c.absolute);
  std::vector<std::u16string> elements;
  for (std::u16string_view element : PathElements(c.path)) elements.emplace_back(element);
  EXPECT_EQ(elements, c.elements);
  EXPECT_EQ(RootPath(c.path), c.rootPath);
  EXPECT_EQ(ParentPath(c.path), c.parentPath);
}

using enum RootNameKind;

INSTANTIATE_TEST_SUITE_P(
    Paths, PathGrammarTest,
    testing::Values(
        GrammarCase{u"C:\\a\\b", Drive, true, {u"C:", u"\\", u"a", u"b"}, u"C:\\", u"C:\\a"},
        GrammarCase{u"C:\\a", Drive, true, {u"C:", u"\\", u"a"}, u"C:\\", u"C:\\"},
        GrammarCase{u"C:\\", Drive, true, {u"C:", u"\\"}, u"C:\\", u"C:\\"},
        GrammarCase{u"z:/a//b/", Drive, true, {u"z:", u"/", u"a", u"b", u""}, u"z:/", u"z:/a//b"},
        GrammarCase{u"C:\\\\\\a", Drive, true, {u"C:", u"\\\\\\", u"a"}, u"C:\\\\\\", u"C:\\\\\\"},
        GrammarCase{u"C:a\\b", Drive, false, {u"C:", u"a", u"b"}, u"C:", u"C:a"},
        GrammarCase{u"C:", Drive, false, {u"C:"}, u"C:", u"C:"},
        GrammarCase{u"1:\\a", None, false, {u"1:", u"a"}, u"", u"1:"},
        GrammarCase{u"\\a", None, false, {u"\\", u"a"}, u"\\", u"\\"},
        GrammarCase{u"a\\b\\", None, false, {u"a", u"b", u""}, u"", u"a\\b"},
        GrammarCase{u"a", None, false, {u"a"}, u"", u""},
        GrammarCase{u"", None, false, {}, u"", u""},
        GrammarCase{u"\\\\?\\C:\\a", DeviceOrVerbatim, true, {u"\\\\?", u"\\", u"C:", u"a"}, u"\\\\?\\",
                    u"\\\\?\\C:"},
        GrammarCase{u"//./pipe", DeviceOrVerbatim, true, {u"//.", u"/", u"pipe"}, u"//./", u"//./"},
        GrammarCase{u"\\??\\C:", DeviceOrVerbatim, true, {u"\\??", u"\\", u"C:"}, u"\\??\\", u"\\??\\"},
        // A second separator after the prefix makes it a server named "?".
        GrammarCase{u"\\\\?\\\\a", Server, true, {u"\\\\?", u"\\\\", u"a"}, u"\\\\?\\\\", u"\\\\?\\\\"},
        GrammarCase{u"\\\\server\\share\\x", Server, true, {u"\\\\server", u"\\", u"share", u"x"}, u"\\\\server\\",
                    u"\\\\server\\share"},
        GrammarCase{u"\\\\server", Server, true, {u"\\\\server"}, u"\\\\server", u"\\\\server"},
        GrammarCase{u"\\\\\\a", None, false, {u"\\\\\\", u"a"}, u"\\\\\\", u"\\\\\\"}));

}  // namespace
}  // namespace ostrel
