#include "security/path_validation.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "fake_os/fake_machine.h"

namespace ostrel {
namespace {

using fake::FakeFileSystem;
using fake::Machine;

struct ValidationCase {
  const char* name;
  std::u16string path;
  void (*arrange)(FakeFileSystem&);
  const char* message;  // nullptr when the path passes
  std::vector<std::u16string> inspected;
};

void Nothing(FakeFileSystem&) {}

void DataDirectory(FakeFileSystem& files) {
  files.AddDirectory(u"C:\\ProgramData\\OstrelNativeUpdater");
  files.AddFile(u"C:\\ProgramData\\OstrelNativeUpdater\\status.json");
}

void DataDirectoryJunction(FakeFileSystem& files) {
  files.AddDirectory(u"C:\\Elsewhere");
  files.AddJunction(u"C:\\ProgramData\\OstrelNativeUpdater", u"C:\\Elsewhere");
  files.AddFile(u"C:\\ProgramData\\OstrelNativeUpdater\\status.json");
}

void StatusFileLink(FakeFileSystem& files) {
  files.AddDirectory(u"C:\\ProgramData\\OstrelNativeUpdater");
  files.AddFile(u"C:\\Users.txt");
  files.AddFileLink(u"C:\\ProgramData\\OstrelNativeUpdater\\status.json", u"C:\\Users.txt");
}

void CurrentDirectoryJunction(FakeFileSystem& files) {
  files.AddJunction(u"C:\\Work", u"C:\\ProgramData");
  files.currentDirectories[u'C'] = u"C:\\Work";
}

void DottedName(FakeFileSystem& files) { files.AddFile(u"C:\\ProgramData\\a..b"); }

void UnreadableProgramData(FakeFileSystem& files) {
  files.Find(u"C:\\ProgramData")->attributesError = os::ErrorAccessDenied;
}

class PathValidationTest : public testing::TestWithParam<ValidationCase> {};

TEST_P(PathValidationTest, ReportsTheFirstOffenceFromTheRootDown) {
  const ValidationCase& c = GetParam();
  c.arrange(Machine().fileSystem);
  if (c.message == nullptr) {
    EXPECT_NO_THROW(ValidateUpdaterPath(c.path));
  } else {
    try {
      ValidateUpdaterPath(c.path);
      ADD_FAILURE() << "no failure raised";
    } catch (const std::runtime_error& failure) {
      EXPECT_STREQ(failure.what(), c.message);
    }
  }
  EXPECT_EQ(Machine().fileSystem.attributeQueries, c.inspected);
}

constexpr const char* Relative = "Updater paths must be absolute";
constexpr const char* Traversal = "Updater path traversal rejected";
constexpr const char* ReparsePoint = "Updater reparse point rejected";

INSTANTIATE_TEST_SUITE_P(
    Paths, PathValidationTest,
    testing::Values(
        ValidationCase{"DriveRelative", u"C:ProgramData\\x", Nothing, Relative, {}},
        ValidationCase{"RootedWithoutDrive", u"\\ProgramData\\x", Nothing, Relative, {}},
        ValidationCase{"Relative", u"ProgramData", Nothing, Relative, {}},
        ValidationCase{"Empty", u"", Nothing, Relative, {}},
        ValidationCase{"Traversal", u"C:\\ProgramData\\..\\Windows", Nothing, Traversal,
                       {u"C:", u"C:\\ProgramData"}},
        ValidationCase{"TrustedPath",
                       u"C:\\ProgramData\\OstrelNativeUpdater\\status.json",
                       DataDirectory,
                       nullptr,
                       {u"C:", u"C:\\ProgramData", u"C:\\ProgramData\\OstrelNativeUpdater",
                        u"C:\\ProgramData\\OstrelNativeUpdater\\status.json"}},
        ValidationCase{"DotInspectedAgain",
                       u"C:\\ProgramData\\.\\OstrelNativeUpdater",
                       DataDirectory,
                       nullptr,
                       {u"C:", u"C:\\ProgramData", u"C:\\ProgramData\\.", u"C:\\ProgramData\\.\\OstrelNativeUpdater"}},
        ValidationCase{"TrailingSeparatorInspectedAgain",
                       u"C:/ProgramData//",
                       Nothing,
                       nullptr,
                       {u"C:", u"C:/ProgramData", u"C:/ProgramData\\"}},
        ValidationCase{"DriveRoot", u"c:\\\\", Nothing, nullptr, {u"c:"}},
        ValidationCase{"DotsInsideAName", u"C:\\ProgramData\\a..b", DottedName, nullptr,
                       {u"C:", u"C:\\ProgramData", u"C:\\ProgramData\\a..b"}},
        ValidationCase{"MissingObject",
                       u"C:\\ProgramData\\OstrelNativeUpdater",
                       Nothing,
                       "Inspect updater path (2)",
                       {u"C:", u"C:\\ProgramData", u"C:\\ProgramData\\OstrelNativeUpdater"}},
        ValidationCase{"MissingDirectory",
                       u"C:\\ProgramData\\OstrelNativeUpdater\\status.json",
                       Nothing,
                       "Inspect updater path (2)",
                       {u"C:", u"C:\\ProgramData", u"C:\\ProgramData\\OstrelNativeUpdater"}},
        ValidationCase{"MissingBeforeTraversal", u"C:\\Missing\\..\\ProgramData", Nothing,
                       "Inspect updater path (2)", {u"C:", u"C:\\Missing"}},
        ValidationCase{"UnreadableComponent", u"C:\\ProgramData\\x", UnreadableProgramData,
                       "Inspect updater path (5)", {u"C:", u"C:\\ProgramData"}},
        ValidationCase{"JunctionOnTheWay",
                       u"C:\\ProgramData\\OstrelNativeUpdater\\status.json",
                       DataDirectoryJunction,
                       ReparsePoint,
                       {u"C:", u"C:\\ProgramData", u"C:\\ProgramData\\OstrelNativeUpdater"}},
        ValidationCase{"JunctionBeforeTraversal",
                       u"C:\\ProgramData\\OstrelNativeUpdater\\..\\x",
                       DataDirectoryJunction,
                       ReparsePoint,
                       {u"C:", u"C:\\ProgramData", u"C:\\ProgramData\\OstrelNativeUpdater"}},
        ValidationCase{"LinkAsTheObject",
                       u"C:\\ProgramData\\OstrelNativeUpdater\\status.json",
                       StatusFileLink,
                       ReparsePoint,
                       {u"C:", u"C:\\ProgramData", u"C:\\ProgramData\\OstrelNativeUpdater",
                        u"C:\\ProgramData\\OstrelNativeUpdater\\status.json"}},
        ValidationCase{"CurrentDirectoryOfTheDriveIsAJunction", u"C:\\ProgramData", CurrentDirectoryJunction,
                       ReparsePoint, {u"C:"}}),
    [](const testing::TestParamInfo<ValidationCase>& info) { return info.param.name; });

}  // namespace
}  // namespace ostrel
