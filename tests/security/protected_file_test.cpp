#include "security/protected_file.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "fake_os/fake_machine.h"
#include "os/file.h"

namespace ostrel {
namespace {

using namespace fake;

constexpr std::u16string_view DataPath = u"C:\\ProgramData\\OstrelNativeUpdater";
constexpr std::u16string_view FilePath = u"C:\\ProgramData\\OstrelNativeUpdater\\status.tmp";

class ProtectedFileTest : public testing::Test {
 protected:
  FakeFile& directory = Machine().fileSystem.AddDirectory(DataPath);

  // The failure's message, or "" when the write succeeded. The file is
  // closed on every path.
  std::string Write(std::string_view bytes) {
    std::string message;
    try {
      WriteProtectedFile(FilePath, bytes);
    } catch (const std::runtime_error& failure) {
      message = failure.what();
    }
    EXPECT_TRUE(Machine().handles.open.empty()) << "file left open";
    return message;
  }

  FakeFile* Written() { return Machine().fileSystem.Find(FilePath); }
};

TEST_F(ProtectedFileTest, WritesTheWholeBufferThroughToDisk) {
  EXPECT_EQ(Write("{\"ok\":true}"), "");
  ASSERT_NE(Written(), nullptr);
  EXPECT_EQ(Written()->contents, "{\"ok\":true}");
  EXPECT_EQ(Machine().fileSystem.flushes, 1);
  // Others may read, not write or delete; a link is opened as itself.
  using Call = FakeFileSystem::CreateFileCall;
  EXPECT_EQ(Machine().fileSystem.createFileCalls,
            (std::vector<Call>{{std::u16string(FilePath), 0x40000000, 0x1, 2, 0x80200080}}));
}

TEST_F(ProtectedFileTest, ReplacesWhatWasThereAndTakesTheDirectorysEntries) {
  Machine().fileSystem.AddFile(FilePath, "a much longer earlier content");
  EXPECT_EQ(Write("new"), "");
  EXPECT_EQ(Written()->contents, "new");
  EXPECT_EQ(Write(""), "");
  EXPECT_EQ(Written()->contents, "");

  Machine().fileSystem.files.erase(u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER\\STATUS.TMP");
  directory.security.owner = SidFromString(LocalSystemSid);
  EXPECT_EQ(Write(""), "");
  EXPECT_EQ(Written()->contents, "");
  EXPECT_EQ(Written()->security.owner->bytes, SidFromString(LocalSystemSid).bytes);
}

TEST_F(ProtectedFileTest, ValidatesTheDirectoryBeforeCreatingAnything) {
  directory.security.dacl->push_back(Allowed(AuthenticatedUsersSid, os::FileAppendData));
  EXPECT_EQ(Write("x"), "Updater object is writable by an untrusted principal");
  Machine().fileSystem.files.erase(u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER");
  EXPECT_EQ(Write("x"), "Inspect updater path (2)");
  EXPECT_TRUE(Machine().fileSystem.createFileCalls.empty());
}

TEST_F(ProtectedFileTest, RefusesALinkAndLeavesItsTargetAlone) {
  Machine().fileSystem.AddFile(u"C:\\ProgramData\\target.txt", "keep");
  Machine().fileSystem.AddFileLink(FilePath, u"C:\\ProgramData\\target.txt");
  EXPECT_EQ(Write("planted"), "Updater file reparse point rejected");
  EXPECT_EQ(Machine().fileSystem.Find(u"C:\\ProgramData\\target.txt")->contents, "keep");
}

struct FailureCase {
  const char* name;
  void (*arrange)(FakeFileSystem&);
  const char* message;
};

class ProtectedFileFailureTest : public ProtectedFileTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(ProtectedFileFailureTest, NamesTheFailedStep) {
  GetParam().arrange(Machine().fileSystem);
  EXPECT_EQ(Write("content"), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ProtectedFileFailureTest,
    testing::Values(
        FailureCase{"DirectoryAtTheName", [](FakeFileSystem& files) { files.AddDirectory(FilePath); },
                    "Create updater file (5)"},
        FailureCase{"HeldWithoutSharing",
                    [](FakeFileSystem& files) {
                      files.AddFile(FilePath);
                      files.HoldOpen(FilePath, os::GenericRead, 0);
                    },
                    "Create updater file (32)"},
        FailureCase{"HandleUnreadable", [](FakeFileSystem& files) { files.getFileInformationResult = 1; },
                    "Inspect updater file (1)"},
        FailureCase{"WriteFails", [](FakeFileSystem& files) { files.writeFileResult = 112; },
                    "Write updater file (112)"},
        FailureCase{"WriteIsShort", [](FakeFileSystem& files) { files.writeLimit = 3; }, "Write updater file (0)"},
        FailureCase{"FlushFails", [](FakeFileSystem& files) { files.flushFileBuffersResult = 5; },
                    "Flush updater file (5)"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

}  // namespace
}  // namespace ostrel
