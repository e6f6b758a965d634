#include "state/update_history.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "fake_os/fake_machine.h"
#include "foundation/path_join.h"
#include "locations/updater_locations.h"
#include "os/access_rights.h"
#include "os/file.h"

namespace ostrel {
namespace {

using fake::Machine;

// 2024-02-29T23:59:59.250Z, a leap day's last second, as a FILETIME.
constexpr std::uint64_t LeapDayEnd = (1'709'251'199'250ULL * 10'000) + 116'444'736'000'000'000ULL;
constexpr const char* Stamp = "2024-02-29T23:59:59.250Z";

std::u16string Path(std::u16string_view name) { return JoinPath(UpdaterDataDirectory(), name); }

class UpdateHistoryTest : public testing::Test {
 protected:
  void SetUp() override {
    Machine().fileSystem.AddDirectory(u"C:\\ProgramData\\OstrelNativeUpdater");
    // The fake clock stands still unless something waits.
    Machine().bootFileTime = LeapDayEnd - Machine().tickCount * 10'000;
  }

  static std::string Content(std::u16string_view name) {
    fake::FakeFile* file = Machine().fileSystem.Find(Path(name));
    return file == nullptr ? "<missing>" : file->contents;
  }

  static std::string Line(const std::string& rest) { return std::string(Stamp) + " " + rest + "\r\n"; }
};

struct RoleCase {
  HistoryRole role;
  const char* word;
};

class HistoryRoleTest : public UpdateHistoryTest, public testing::WithParamInterface<RoleCase> {};

TEST_P(HistoryRoleTest, WritesTimeRoleProcessAndEvent) {
  RecordHistory(GetParam().role, "Worker started");
  EXPECT_EQ(Content(HistoryName), Line(std::string(GetParam().word) + " 4242 Worker started"));
}

INSTANTIATE_TEST_SUITE_P(Roles, HistoryRoleTest,
                         testing::Values(RoleCase{HistoryRole::Service, "service"},
                                         RoleCase{HistoryRole::Worker, "worker"},
                                         RoleCase{HistoryRole::Install, "install"},
                                         RoleCase{HistoryRole::Uninstall, "uninstall"},
                                         RoleCase{HistoryRole::PrepareInstall, "prepare-install"}),
                         [](const testing::TestParamInfo<RoleCase>& info) {
                           std::string name = info.param.word;
                           std::erase(name, '-');
                           return name;
                         });

TEST_F(UpdateHistoryTest, AppendsTheFailureAfterTheEventAndKeepsEachEventOnOneLine) {
  Machine().fileSystem.AddFile(Path(HistoryName), "earlier\r\n");
  RecordHistory(HistoryRole::Service, "Service ended", "Connect update server (12029)");
  RecordHistory(HistoryRole::Worker, "Worker\nended", "first line\r\nsecond\tline\x7F");
  EXPECT_EQ(Content(HistoryName), "earlier\r\n" + Line("service 4242 Service ended: Connect update server (12029)") +
                                      Line("worker 4242 Worker ended: first line  second line "));
}

TEST_F(UpdateHistoryTest, ALineThatWouldPassTheLimitStartsANewFileAndKeepsOneOlder) {
  const std::string line = Line("service 4242 Service started");
  Machine().fileSystem.AddFile(Path(OlderHistoryName), "oldest generation");
  const std::string full(HistoryLimit - line.size(), 'x');
  Machine().fileSystem.AddFile(Path(HistoryName), full);

  RecordHistory(HistoryRole::Service, "Service started");
  EXPECT_EQ(Content(HistoryName), full + line) << "a line that just fits is appended";
  EXPECT_EQ(Content(OlderHistoryName), "oldest generation");

  RecordHistory(HistoryRole::Service, "Service started");
  EXPECT_EQ(Content(HistoryName), line);
  EXPECT_EQ(Content(OlderHistoryName), full + line);
}

TEST_F(UpdateHistoryTest, ReadersHoldingBothFilesKeepNeitherTheAppendNorTheRotationOut) {
  Machine().fileSystem.AddFile(Path(HistoryName), std::string(HistoryLimit, 'x'));
  Machine().fileSystem.AddFile(Path(OlderHistoryName), "older");
  constexpr std::uint32_t readersShare = os::FileShareRead | os::FileShareWrite | os::FileShareDelete;
  Machine().fileSystem.HoldOpen(Path(HistoryName), os::GenericRead, readersShare);
  Machine().fileSystem.HoldOpen(Path(OlderHistoryName), os::GenericRead, readersShare);
  RecordHistory(HistoryRole::Service, "Service started");
  EXPECT_EQ(Content(HistoryName), Line("service 4242 Service started"));
  EXPECT_EQ(Content(OlderHistoryName).size(), HistoryLimit);
}

struct UnwritableCase {
  const char* name;
  void (*arrange)();
};

class UnwritableHistoryTest : public UpdateHistoryTest, public testing::WithParamInterface<UnwritableCase> {};

// Whatever keeps the line out, the call returns, writes nothing through a
// link and leaves what a link leads to as it was.
TEST_P(UnwritableHistoryTest, LosesTheLineAndReturns) {
  Machine().fileSystem.AddDirectory(u"C:\\Users");
  Machine().fileSystem.AddFile(u"C:\\Users\\target.txt", "kept");
  GetParam().arrange();
  EXPECT_NO_THROW(RecordHistory(HistoryRole::Service, "Service started"));
  EXPECT_EQ(Machine().fileSystem.Find(u"C:\\Users\\target.txt")->contents, "kept");
  EXPECT_THAT(Content(HistoryName), testing::Not(testing::HasSubstr("Service started")));
}

INSTANTIATE_TEST_SUITE_P(
    Obstacles, UnwritableHistoryTest,
    testing::Values(
        UnwritableCase{"DirectoryWritableByUsers",
                       [] {
                         Machine().fileSystem.Find(UpdaterDataDirectory())->security.dacl->push_back(
                             fake::Allowed(fake::UsersSid, os::FileAllAccess));
                       }},
        UnwritableCase{"NoDirectory",
                       [] { Machine().fileSystem.files.erase(u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER"); }},
        UnwritableCase{"FileLink",
                       [] { Machine().fileSystem.AddFileLink(Path(HistoryName), u"C:\\Users\\target.txt"); }},
        UnwritableCase{"HardLink",
                       [] { Machine().fileSystem.AddHardLink(Path(HistoryName), u"C:\\Users\\target.txt"); }},
        UnwritableCase{"HeldExclusively",
                       [] {
                         Machine().fileSystem.AddFile(Path(HistoryName), "earlier\r\n");
                         Machine().fileSystem.HoldOpen(Path(HistoryName), os::GenericRead, 0);
                       }},
        UnwritableCase{"EveryChangeFails", [] { Machine().fileSystem.failChangesFrom = 0; }}),
    [](const testing::TestParamInfo<UnwritableCase>& info) { return info.param.name; });

TEST_F(UpdateHistoryTest, AFullHistoryThatCannotBeRotatedDropsTheLine) {
  const std::string full(HistoryLimit, 'x');
  Machine().fileSystem.AddFile(Path(HistoryName), full);
  Machine().fileSystem.AddDirectory(Path(OlderHistoryName));
  RecordHistory(HistoryRole::Service, "Service started");
  EXPECT_EQ(Content(HistoryName), full);
}

}  // namespace
}  // namespace ostrel
