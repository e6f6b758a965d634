#include "state/updater_status.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "fake_os/fake_machine.h"
#include "os/file_system.h"
#include "runtime_error_matcher.h"
#include "state/registry_state.h"

namespace ostrel {
namespace {

using fake::FakeRegistryValue;
using fake::Machine;
using fake::RegistryView;

void InstallVersion(std::u16string_view version) {
  Machine().registry.SetValue(RegistryView::Bit64, UpdaterRegistryKey, u"Version",
                              FakeRegistryValue::String(version));
}

TEST(BuildStatusRecordTest, HoldsOnlyTheAlwaysPresentMembersWhenNothingElseIsGiven) {
  InstallVersion(u"1.2.3");
  EXPECT_EQ(BuildStatusRecord(StatusUpToDate, u"", "").Stringify(),
            u"{\"ok\":true,\"state\":\"up_to_date\",\"installedVersion\":\"1.2.3\"}");
}

TEST(BuildStatusRecordTest, SetsTheOptionalMembersInTheirOrder) {
  InstallVersion(u"1.2.3");
  EXPECT_EQ(BuildStatusRecord(StatusReady, u"1.3.0-beta.2", "Connect update server (12029)").Stringify(),
            u"{\"ok\":true,\"state\":\"ready\",\"installedVersion\":\"1.2.3\",\"availableVersion\":\"1.3.0-beta.2\","
            u"\"message\":\"Connect update server (12029)\"}");
}

TEST(BuildStatusRecordTest, ReadsTheMessageAsUtf8) {
  InstallVersion(u"1.2.3");
  EXPECT_EQ(BuildStatusRecord(StatusError, u"", "Gr\xC3\xBC\xC3\x9F \xE2\x9C\x93").GetNamedString(u"message"),
            u"Grüß ✓");
  EXPECT_EQ(BuildStatusRecord(StatusError, u"", "\xC3\x28").GetNamedString(u"message"), u"\uFFFD(");
}

TEST(BuildStatusRecordTest, BuildsNothingWithoutAValidInstalledVersion) {
  EXPECT_THAT([] { BuildStatusRecord(StatusUpToDate, u"", ""); }, FailsWith("Installed Ostrel version is unavailable"));
  InstallVersion(u"1.2");
  EXPECT_THAT([] { BuildStatusRecord(StatusUpToDate, u"", ""); }, FailsWith("Invalid release version"));
}

constexpr std::u16string_view DataDirectory = u"C:\\ProgramData\\OstrelNativeUpdater";
constexpr std::u16string_view StatusPath = u"C:\\ProgramData\\OstrelNativeUpdater\\status.json";
constexpr std::u16string_view TemporaryPath = u"C:\\ProgramData\\OstrelNativeUpdater\\status.tmp";
constexpr const char* PreviousDocument = "{\"ok\":true,\"state\":\"ready\",\"installedVersion\":\"1.0.0\"}";

// An installed updater with its protected working directory.
class WriteStatusTest : public testing::Test {
 protected:
  void SetUp() override {
    InstallVersion(u"1.2.3");
    Machine().fileSystem.AddDirectory(DataDirectory);
  }

  static void PublishPrevious() { Machine().fileSystem.AddFile(StatusPath, PreviousDocument); }

  static std::string Published() {
    fake::FakeFile* status = Machine().fileSystem.Find(StatusPath);
    return status ? status->contents : "(none)";
  }
};

TEST_F(WriteStatusTest, ReplacesTheStatusDocumentWhole) {
  PublishPrevious();
  WriteStatus(StatusDownloading, u"1.3.0", "");
  EXPECT_EQ(Published(), "{\"ok\":true,\"state\":\"downloading\",\"installedVersion\":\"1.2.3\","
                         "\"availableVersion\":\"1.3.0\"}");
  EXPECT_EQ(Machine().fileSystem.Find(TemporaryPath), nullptr);
}

TEST_F(WriteStatusTest, WritesTheFirstStatusAndOverwritesALeftoverTemporary) {
  Machine().fileSystem.AddFile(TemporaryPath, "{\"ok\":tr");
  WriteStatus(StatusUpToDate, u"", "");
  EXPECT_EQ(Published(), "{\"ok\":true,\"state\":\"up_to_date\",\"installedVersion\":\"1.2.3\"}");
}

TEST_F(WriteStatusTest, LeavesThePreviousStatusWhenTheVersionIsMissing) {
  PublishPrevious();
  Machine().registry.keys.clear();
  EXPECT_THAT([] { WriteStatus(StatusUpToDate, u"", ""); }, FailsWith("Installed Ostrel version is unavailable"));
  EXPECT_EQ(Published(), PreviousDocument);
  EXPECT_EQ(Machine().fileSystem.Find(TemporaryPath), nullptr);
}

TEST_F(WriteStatusTest, LeavesThePreviousStatusWhenTheWriteFails) {
  PublishPrevious();
  Machine().fileSystem.flushFileBuffersResult = 112;
  EXPECT_THAT([] { WriteStatus(StatusUpToDate, u"", ""); }, FailsWith("Flush updater file (112)"));
  EXPECT_EQ(Published(), PreviousDocument);
}

TEST_F(WriteStatusTest, RaisesTheCodeOfAFailedCommit) {
  Machine().fileSystem.AddDirectory(StatusPath);
  EXPECT_THAT([] { WriteStatus(StatusUpToDate, u"", ""); }, FailsWith("Commit updater status (5)"));
  EXPECT_NE(Machine().fileSystem.Find(StatusPath)->attributes & os::FileAttributeDirectory, 0u);
}

}  // namespace
}  // namespace ostrel
