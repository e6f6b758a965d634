#include "security/protected_file.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "fake_os/fake_machine.h"
#include "os/file.h"
#include "security/object_acl.h"

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
  // Others may read, not write or delete; a link is opened as itself, and
  // an existing file is opened, not truncated, until it has been checked.
  using Call = FakeFileSystem::CreateFileCall;
  EXPECT_EQ(Machine().fileSystem.createFileCalls,
            (std::vector<Call>{{std::u16string(FilePath), 0x40000000, 0x1, 4, 0x80200080}}));
}

TEST_F(ProtectedFileTest, ReplacesWhatWasThere) {
  Machine().fileSystem.AddFile(FilePath, "a much longer earlier content");
  EXPECT_EQ(Write("new"), "");
  EXPECT_EQ(Written()->contents, "new");
  EXPECT_EQ(Write(""), "");
  EXPECT_EQ(Written()->contents, "");
}

// Windows' rule, not the directory's descriptor copied: the creator's
// default owner, and only the entries passed on to files, made effective.
TEST_F(ProtectedFileTest, ANewFileIsOwnedByItsCreatorAndInheritsWhatTheDirectoryPassesOnToFiles) {
  Machine().identity = FakeIdentity::LocalSystem();
  constexpr std::uint8_t ToAll = os::ObjectInheritAce | os::ContainerInheritAce;
  directory.security = FakeSecurity{SidFromString(AdministratorsSid),
                                    std::vector<FakeAce>{Allowed(AdministratorsSid, os::GenericAll, ToAll),
                                                         Allowed(UsersSid, 0x1200A9, os::ContainerInheritAce),
                                                         Allowed(CreatorOwnerSid, os::FileAllAccess,
                                                                 os::ObjectInheritAce | os::InheritOnlyAce)}};
  EXPECT_EQ(Write("x"), "");
  EXPECT_EQ(Written()->security.owner->bytes, SidFromString(LocalSystemSid).bytes);
  ASSERT_TRUE(Written()->security.dacl);
  const std::vector<FakeAce>& dacl = *Written()->security.dacl;
  ASSERT_EQ(dacl.size(), 2u);
  EXPECT_EQ(dacl[0].sid.bytes, SidFromString(AdministratorsSid).bytes);
  EXPECT_EQ(dacl[0].mask, os::FileAllAccess) << "generic rights are mapped";
  EXPECT_EQ(dacl[1].sid.bytes, SidFromString(LocalSystemSid).bytes) << "CREATOR OWNER is replaced by the owner";
  for (const FakeAce& ace : dacl) EXPECT_EQ(ace.flags, os::InheritedAce);
}

// An inherit-only entry does not let anyone write the directory, but it
// takes effect on every file created in it.
TEST_F(ProtectedFileTest, AnInheritOnlyGrantToUsersMakesTheNewFileUntrusted) {
  directory.security.dacl->push_back(
      Allowed(UsersSid, os::FileAllAccess, os::ObjectInheritAce | os::ContainerInheritAce | os::InheritOnlyAce));
  EXPECT_EQ(Write("x"), "");
  EXPECT_THROW(
      try { ValidateObjectAcl(FilePath); } catch (const std::runtime_error& failure) {
        EXPECT_STREQ(failure.what(), "Updater object is writable by an untrusted principal");
        throw;
      },
      std::runtime_error);
}

TEST_F(ProtectedFileTest, ValidatesTheDirectoryBeforeCreatingAnything) {
  directory.security.dacl->push_back(Allowed(AuthenticatedUsersSid, os::FileAppendData));
  EXPECT_EQ(Write("x"), "Updater object is writable by an untrusted principal");
  Machine().fileSystem.files.erase(u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER");
  EXPECT_EQ(Write("x"), "Inspect updater path (2)");
  EXPECT_TRUE(Machine().fileSystem.createFileCalls.empty());
}

// The names a hostile user may plant: a link, whose reparse data must not be
// truncated any more than its target, and a second name of a file of his.
TEST_F(ProtectedFileTest, RefusesALinkOrAHardLinkAndChangesNothingOfEither) {
  Machine().fileSystem.AddFile(u"C:\\ProgramData\\target.txt", "keep");
  Machine().fileSystem.AddFileLink(FilePath, u"C:\\ProgramData\\target.txt").contents = "reparse data";
  EXPECT_EQ(Write("planted"), "Updater file reparse point rejected");
  EXPECT_EQ(Machine().fileSystem.Find(u"C:\\ProgramData\\target.txt")->contents, "keep");
  EXPECT_EQ(Written()->contents, "reparse data");

  Machine().fileSystem.files.erase(u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER\\STATUS.TMP");
  Machine().fileSystem.AddHardLink(FilePath, u"C:\\ProgramData\\target.txt");
  EXPECT_EQ(Write("planted"), "Updater file has other names");
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
        // Opening an existing file changes nothing; emptying it is the first change.
        FailureCase{"TruncateFails",
                    [](FakeFileSystem& files) {
                      files.AddFile(FilePath, "earlier");
                      files.failChangesFrom = files.changes;
                    },
                    "Create updater file (112)"},
        FailureCase{"WriteFails", [](FakeFileSystem& files) { files.writeFileResult = 112; },
                    "Write updater file (112)"},
        FailureCase{"WriteIsShort", [](FakeFileSystem& files) { files.writeLimit = 3; }, "Write updater file (0)"},
        FailureCase{"FlushFails", [](FakeFileSystem& files) { files.flushFileBuffersResult = 5; },
                    "Flush updater file (5)"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

}  // namespace
}  // namespace ostrel
