#include "apply/apply_worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_os/fake_machine.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "installed_updater.h"
#include "locations/updater_locations.h"
#include "os/access_rights.h"
#include "os/file.h"
#include "os/file_system.h"
#include "os/process.h"
#include "security/object_acl.h"
#include "security/protected_directory.h"
#include "security/transaction_lock.h"
#include "service/published_release.h"
#include "state/registry_state.h"

namespace ostrel {
namespace {

using namespace fake;
using testing::Contains;
using testing::Each;
using testing::ElementsAre;
using testing::IsEmpty;
using namespace std::string_literals;

constexpr std::uint32_t ParentId = 5000;
constexpr std::u16string_view Temporary = u"C:\\ProgramData\\OstrelNativeUpdater\\installer-temp";

std::u16string Data(std::u16string_view name) { return JoinPath(UpdaterDataDirectory(), name); }

void RemoveRunning(std::u16string_view imagePath) {
  std::erase_if(Machine().processes.running,
                [imagePath](const FakeProcess& process) { return process.imagePath == imagePath; });
}

// The service that started the worker, as it runs until it ends.
FakeProcess InstalledUpdaterProcess() {
  return {ParentId, u"OstrelUpdate.exe", JoinPath(UpdaterDirectory(), UpdaterExecutableName)};
}

void RunBrowser() { Machine().processes.running.push_back({1000, u"chrome.exe", BrowserExecutablePath()}); }

// As --prepare-install leaves it before the updater is replaced by hand.
void DisableService() { Machine().services.Find(ServiceName)->configuration.startType = os::ServiceDisabled; }
constexpr const char* Replacing = "Updater is being replaced; pending update canceled";

void SetUninstalling() {
  Machine().registry.SetValue(RegistryView::Bit64, UpdaterRegistryKey, u"Uninstalling", FakeRegistryValue::Dword(1));
}

// An installed updater whose update cycle has staged release 2.0.0, copied
// itself to ApplyWorkerPath, published "installing", started the worker as
// that copy and ended; the browser is closed. Every published status is
// recorded.
class StagedRelease {
 public:
  StagedRelease() {
    Machine().identity = FakeIdentity::LocalSystem();
    test::ArrangeInstalledUpdater(u"1.0.0");
    Machine().services.AddService(ServiceName);
    Machine().fileSystem.AddFile(ApplyWorkerPath(), "updater image");
    Machine().moduleFileName = ApplyWorkerPath();
    Machine().fileSystem.AddFile(Data(ReleaseMetadataName), release.metadata);
    Machine().fileSystem.AddFile(Data(ReleaseSignatureName), release.signature);
    Machine().fileSystem.AddFile(Installer(), release.installer);
    Machine().fileSystem.afterMove = [this](const std::u16string& key) {
      if (key == u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER\\STATUS.JSON") {
        statuses.push_back(Machine().fileSystem.files.at(key)->contents);
      }
    };
  }

  std::u16string Installer() const { return Data(ToUtf16(release.file)); }

  // Runs the worker; its failure message, or "" when it returned.
  std::string Run() {
    try {
      RunApplyWorker(ParentId);
      return "";
    } catch (const std::runtime_error& failure) {
      return failure.what();
    }
  }

  bool Installed() const { return !Machine().processes.launches.empty(); }

  test::PublishedRelease release = test::Publish("2.0.0");
  std::vector<std::string> statuses;
  // A handle the arrangement holds, released after the run.
  os::Handle held;
};

struct Scenario {
  const char* name;
  std::function<void(StagedRelease&)> arrange;
  // "" when the worker returns.
  std::string message;
  bool installs;
  // The status documents published, in order.
  std::vector<std::string> statuses;
  // Every pause the worker made, in milliseconds.
  std::vector<std::uint32_t> sleeps = {};
};

// What a worker publishes when it fails with the staged release still
// installable, and when it fails without one.
std::string Ready(std::string_view message) {
  return R"({"ok":true,"state":"ready","installedVersion":"1.0.0","availableVersion":"2.0.0","message":")" +
         std::string(message) + R"("})";
}
std::string Error(std::string_view message) {
  return R"({"ok":true,"state":"error","installedVersion":"1.0.0","message":")" + std::string(message) + R"("})";
}
std::string UpToDate(std::string_view installed) {
  return R"({"ok":true,"state":"up_to_date","installedVersion":")" + std::string(installed) + R"("})";
}

TEST(ApplyWorkerTest, EndsAsEachEdgeCaseRequiresAndReleasesWhatItHolds) {
  const Scenario scenarios[] = {
      {"installs, the parent already gone", [](StagedRelease&) {}, "", true, {UpToDate("2.0.0")}},
      {"not LocalSystem", [](StagedRelease&) { Machine().identity = FakeIdentity::StandardUser(); },
       "Only SYSTEM may apply a native release", false, {}},
      {"run from the installed executable",
       [](StagedRelease&) { Machine().moduleFileName = JoinPath(UpdaterDirectory(), UpdaterExecutableName); },
       "Invalid updater worker location", false, {}},
      {"run from a copy elsewhere",
       [](StagedRelease&) {
         Machine().fileSystem.AddFile(u"C:\\ProgramData\\OstrelApply.exe", "updater image");
         Machine().moduleFileName = u"C:\\ProgramData\\OstrelApply.exe";
       },
       "Invalid updater worker location", false, {}},
      {"worker path in other case and with dot segments",
       [](StagedRelease&) {
         Machine().moduleFileName = u"c:\\programdata\\.\\OSTRELNATIVEUPDATER\\.\\ostrelapply.EXE";
       },
       "", true, {UpToDate("2.0.0")}},
      {"lock held by another worker",
       [](StagedRelease& test) {
         ASSERT_EQ(os::CreateFile(Data(TransactionLockName), os::GenericRead | os::GenericWrite, 0, os::OpenAlways,
                                  os::FileAttributeNormal, test.held),
                   std::nullopt);
       },
       "Another update transaction is active (32)", false, {}, std::vector<std::uint32_t>(20, 50)},
      {"parent still running",
       [](StagedRelease&) { Machine().processes.running.push_back(InstalledUpdaterProcess()); },
       "Updater service has not stopped", false, {Ready("Updater service has not stopped")}},
      {"parent ends within the wait",
       [](StagedRelease&) {
         FakeProcess parent = InstalledUpdaterProcess();
         parent.endsAt = Machine().tickCount + 29000;
         Machine().processes.running.push_back(parent);
       },
       "", true, {UpToDate("2.0.0")}},
      {"an updater started after the worker under the parent's id",
       [](StagedRelease&) {
         FakeProcess later = InstalledUpdaterProcess();
         later.createdAt = Machine().processCreationTime + 1;
         Machine().processes.running.push_back(later);
       },
       "", true, {UpToDate("2.0.0")}},
      {"service disabled for a replacement", [](StagedRelease&) { DisableService(); }, Replacing, false,
       {Ready(Replacing)}},
      {"service disabled as the browser closes",
       [](StagedRelease&) {
         RunBrowser();
         Machine().whileSleeping = [] {
           if (Machine().sleeps.size() < 2) return;
           RemoveRunning(BrowserExecutablePath());
           DisableService();
         };
       },
       Replacing,
       false,
       {Ready(Replacing)},
       {1000, 1000}},
      {"browser closed during the wait",
       [](StagedRelease&) {
         RunBrowser();
         Machine().whileSleeping = [] {
           if (Machine().sleeps.size() == 3) RemoveRunning(BrowserExecutablePath());
         };
       },
       "",
       true,
       {UpToDate("2.0.0")},
       {1000, 1000, 1000}},
      {"browser still running after 30 polls", [](StagedRelease&) { RunBrowser(); },
       "Browser is active or uninstall is in progress; update remains pending", false,
       {Ready("Browser is active or uninstall is in progress; update remains pending")},
       std::vector<std::uint32_t>(30, 1000)},
      {"uninstall begins during the wait",
       [](StagedRelease&) {
         RunBrowser();
         Machine().whileSleeping = [] {
           if (Machine().sleeps.size() == 2) SetUninstalling();
         };
       },
       "Browser is active or uninstall is in progress; update remains pending",
       false,
       {Ready("Browser is active or uninstall is in progress; update remains pending")},
       {1000, 1000}},
      {"uninstall begins after the gate",
       [](StagedRelease&) {
         Machine().fileSystem.beforeCreateDirectory = [](std::u16string_view path) {
           if (path == Temporary) SetUninstalling();
         };
       },
       "Uninstall is in progress; pending update canceled", false,
       {Ready("Uninstall is in progress; pending update canceled")}},
      {"release.json changed on disk",
       [](StagedRelease&) { Machine().fileSystem.Find(Data(ReleaseMetadataName))->contents += ' '; },
       "Release signature mismatch", false, {Error("Release signature mismatch")}},
      {"installer changed on disk",
       [](StagedRelease& test) {
         std::string& contents = Machine().fileSystem.Find(test.Installer())->contents;
         contents[0] ^= 1;
       },
       "Installer SHA-512 mismatch", false, {Error("Installer SHA-512 mismatch")}},
      {"installer held open for writing by someone else",
       [](StagedRelease& test) {
         ASSERT_EQ(os::CreateFile(test.Installer(), os::GenericWrite,
                                  os::FileShareRead | os::FileShareWrite | os::FileShareDelete, os::OpenExisting,
                                  os::FileAttributeNormal, test.held),
                   std::nullopt);
       },
       "Installer cannot be read", false, {Ready("Installer cannot be read")}},
      {"installed version reached the release", [](StagedRelease&) { test::SetInstalledVersion(u"2.0.0"); }, "",
       false, {UpToDate("2.0.0")}},
      {"installed version passed the release", [](StagedRelease&) { test::SetInstalledVersion(u"2.0.1"); }, "",
       false, {UpToDate("2.0.1")}},
      {"installer fails", [](StagedRelease& test) { Machine().processes.programs[test.Installer()].exitCode = 1603; },
       "Native installer reported a failure", true, {Ready("Native installer reported a failure")}},
      {"no job for the installer",
       [](StagedRelease&) { Machine().processes.createJobFailure = os::ErrorAccessDenied; },
       "Start authenticated update (5)", false, {Ready("Start authenticated update (5)")}},
      // Started suspended, it is ended before it runs.
      {"installer cannot join its job",
       [](StagedRelease&) { Machine().processes.assignFailure = os::ErrorAccessDenied; },
       "Start authenticated update (5)", true, {Ready("Start authenticated update (5)")}},
  };
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.name);
    ResetMachine();
    StagedRelease test;
    scenario.arrange(test);
    std::u16string versionBefore = ReadInstalledVersion();
    EXPECT_EQ(test.Run(), scenario.message);
    test.held = os::Handle();
    EXPECT_THAT(Machine().handles.open, IsEmpty()) << "the lock, the parent or the installer was left open";
    EXPECT_EQ(test.Installed(), scenario.installs);
    EXPECT_EQ(Machine().sleeps, scenario.sleeps);
    EXPECT_EQ(test.statuses, scenario.statuses);
    bool succeeded = scenario.message.empty() && scenario.installs;
    if (succeeded) {
      EXPECT_EQ(ReadInstalledVersion(), u"2.0.0");
      EXPECT_EQ(Machine().fileSystem.Find(test.Installer()), nullptr);
      for (std::u16string_view kept : {ReleaseMetadataName, ReleaseSignatureName, TransactionLockName}) {
        EXPECT_NE(Machine().fileSystem.Find(Data(kept)), nullptr) << ToUtf8(kept);
      }
      EXPECT_NE(Machine().fileSystem.Find(ApplyWorkerPath()), nullptr);
    } else {
      EXPECT_EQ(ReadInstalledVersion(), versionBefore);
      EXPECT_NE(Machine().fileSystem.Find(test.Installer()), nullptr);
    }
  }
}

TEST(ApplyWorkerTest, HoldsTheVerifiedInstallerAgainstWritersUntilItHasStarted) {
  StagedRelease test;
  std::vector<os::Failure> writes;
  std::vector<os::Failure> deletes;
  // The installer's temporary directory is made between the verification
  // and the start.
  Machine().fileSystem.beforeCreateDirectory = [&](std::u16string_view path) {
    if (path != Temporary) return;
    os::Handle writer;
    writes.push_back(os::CreateFile(test.Installer(), os::GenericWrite,
                                    os::FileShareRead | os::FileShareWrite | os::FileShareDelete, os::OpenExisting,
                                    os::FileAttributeNormal, writer));
    deletes.push_back(os::DeleteFile(test.Installer()));
  };
  EXPECT_EQ(test.Run(), "");
  EXPECT_THAT(writes, ElementsAre(os::ErrorSharingViolation));
  EXPECT_THAT(deletes, ElementsAre(os::ErrorSharingViolation));
  const FakeLaunch& installer = Machine().processes.launches.at(0);
  EXPECT_TRUE(installer.imageHeldAgainstWriters) << "still held at the moment it started";
  EXPECT_TRUE(installer.imageHeldAgainstDeleters) << "still held at the moment it started";
  // Once started, the installer is no longer held: the worker deletes it.
  EXPECT_EQ(Machine().fileSystem.Find(test.Installer()), nullptr);
}

TEST(ApplyWorkerTest, HoldsTheTransactionLockWhileTheInstallerRuns) {
  StagedRelease test;
  std::vector<bool> lockHeld;
  Machine().processes.whenStarted = [&lockHeld](const FakeLaunch&) { lockHeld.push_back(IsTransactionActive()); };
  EXPECT_EQ(test.Run(), "");
  EXPECT_THAT(lockHeld, ElementsAre(true));
}

// The copy of itself an installer starts to do the work before it exits.
std::u16string RelaunchedInstaller() { return JoinPath(Temporary, u"Ostrel-Setup-2.0.0.exe"); }

bool RelaunchedInstallerRuns() {
  return std::ranges::any_of(Machine().processes.running,
                             [](const FakeProcess& process) { return process.imagePath == RelaunchedInstaller(); });
}

TEST(ApplyWorkerTest, RecordsTheReleaseOnlyOnceTheInstallersRelaunchedCopyHasEnded) {
  StagedRelease test;
  Machine().processes.programs[test.Installer()] = {0, 0, {{RelaunchedInstaller(), 5 * 60 * 1000}}};
  std::vector<std::u16string> versionsWhileCopyRan;
  Machine().whileSleeping = [&] {
    if (RelaunchedInstallerRuns()) versionsWhileCopyRan.push_back(ReadInstalledVersion());
  };
  int changesWhileCopyRan = 0;
  Machine().fileSystem.beforeChange = [&] { changesWhileCopyRan += RelaunchedInstallerRuns(); };
  EXPECT_EQ(test.Run(), "");
  EXPECT_THAT(versionsWhileCopyRan, testing::AllOf(testing::Not(IsEmpty()), Each(std::u16string(u"1.0.0"))));
  EXPECT_EQ(changesWhileCopyRan, 0) << "the installer was deleted or the status written while the copy ran";
  EXPECT_EQ(ReadInstalledVersion(), u"2.0.0");
  EXPECT_EQ(Machine().fileSystem.Find(test.Installer()), nullptr);
  EXPECT_EQ(test.statuses, std::vector<std::string>{UpToDate("2.0.0")});
  EXPECT_THAT(Machine().processes.ended, Each(testing::Field(&FakeProcess::exitCode, 0u))) << "nothing was terminated";
}

// At the limit the installer's processes end first, then the failure is
// published, and only then is the lock released: no installer outlives
// the lock, and nothing but the lock's holder speaks for the release.
TEST(ApplyWorkerTest, EndsTheInstallerAtItsLimitBeforeItPublishesAndPublishesBeforeItReleasesTheLock) {
  StagedRelease test;
  Machine().processes.programs[test.Installer()] = {0, 0, {{RelaunchedInstaller(), std::nullopt}}};
  std::vector<bool> runningAtPublication;
  std::vector<bool> lockedAtPublication;
  Machine().fileSystem.afterMove = [&](const std::u16string& key) {
    if (key != u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER\\STATUS.JSON") return;
    test.statuses.push_back(Machine().fileSystem.files.at(key)->contents);
    runningAtPublication.push_back(RelaunchedInstallerRuns());
    lockedAtPublication.push_back(IsTransactionActive());
  };
  EXPECT_EQ(test.Run(), "Installer did not finish; it was terminated");
  EXPECT_EQ(test.statuses, std::vector<std::string>{Ready("Installer did not finish; it was terminated")});
  EXPECT_THAT(runningAtPublication, ElementsAre(false));
  EXPECT_THAT(lockedAtPublication, ElementsAre(true));
  EXPECT_FALSE(IsTransactionActive());
  EXPECT_THAT(Machine().handles.open, IsEmpty());
  EXPECT_EQ(ReadInstalledVersion(), u"1.0.0");
  EXPECT_NE(Machine().fileSystem.Find(test.Installer()), nullptr);
}

TEST(ApplyWorkerTest, DoesNotWaitForAnUnrelatedProcessThatReusedTheParentsId) {
  StagedRelease test;
  Machine().processes.running.push_back({ParentId, u"other.exe", u"C:\\other.exe"});
  EXPECT_EQ(test.Run(), "");
  EXPECT_TRUE(test.Installed());
  EXPECT_THAT(Machine().processes.waitTimeouts, IsEmpty()) << "the unrelated process was waited for";
  EXPECT_TRUE(Machine().handles.open.empty());
}

TEST(ApplyWorkerTest, AStatusThatCannotBeWrittenLeavesTheWorkersOwnFailure) {
  StagedRelease test;
  Machine().processes.programs[test.Installer()].exitCode = 1603;
  // A reader holds status.json beyond every retry of its replacement.
  Machine().fileSystem.AddFile(Data(StatusFileName), "installing");
  Machine().fileSystem.HoldOpen(Data(StatusFileName), os::GenericRead, os::FileShareRead);
  EXPECT_EQ(test.Run(), "Native installer reported a failure");
  EXPECT_EQ(Machine().fileSystem.Find(Data(StatusFileName))->contents, "installing");
}

// Whatever lies in the directory at the key, by name.
std::set<std::u16string> NamesIn(std::u16string_view directory) {
  const std::u16string prefix = Machine().fileSystem.Look(directory).key + u"\\";
  std::set<std::u16string> names;
  for (const auto& [key, file] : Machine().fileSystem.files) {
    if (key.starts_with(prefix) && key.find(u'\\', prefix.size()) == std::u16string::npos) {
      names.insert(key.substr(prefix.size()));
    }
  }
  return names;
}

TEST(ApplyWorkerTest, RemovesOrphanedFilesAndKeepsTheUpdatersOwnAndTheStagedInstaller) {
  StagedRelease test;
  Machine().processes.programs[test.Installer()].exitCode = 1603;  // so the staged installer stays
  FakeFileSystem& files = Machine().fileSystem;
  files.AddFile(Data(u"Ostrel-Setup-1.5.0.exe"), "an earlier release's installer");
  files.AddFile(Data(u"download.partial"), "an abandoned download");
  files.AddFile(Data(u"notes.txt"));
  files.AddDirectory(Data(u"folder"));
  files.AddDirectory(u"C:\\ProgramData\\elsewhere");
  files.AddFile(u"C:\\ProgramData\\elsewhere\\precious.txt");
  files.AddJunction(Data(u"link"), u"C:\\ProgramData\\elsewhere");
  files.AddFile(Data(OlderHistoryName), "an older history");
  EXPECT_EQ(test.Run(), "Native installer reported a failure");
  EXPECT_EQ(NamesIn(UpdaterDataDirectory()),
            (std::set<std::u16string>{u"FOLDER", u"HISTORY.LOG", u"HISTORY.OLD.LOG", u"INSTALL.LOCK",
                                      u"INSTALLER-TEMP", u"OSTREL-SETUP-2.0.0.EXE", u"OSTRELAPPLY.EXE",
                                      u"RELEASE.JSON", u"RELEASE.SIG", u"STATUS.JSON"}));
  EXPECT_NE(files.Find(u"C:\\ProgramData\\elsewhere\\precious.txt"), nullptr) << "the junction went by itself";
  EXPECT_TRUE(Machine().handles.open.empty());
}

// The history's lines without their time, as "<role> <pid> <event>".
std::vector<std::string> HistoryEvents() {
  std::vector<std::string> events;
  std::istringstream lines(Machine().fileSystem.Find(Data(HistoryName))->contents);
  for (std::string line; std::getline(lines, line);) {
    line.pop_back();  // the '\r' of its "\r\n"
    events.push_back(line.substr(line.find(' ') + 1));
  }
  return events;
}

// GoogleTest's own regular expressions have no brackets on Windows.
bool InstallerRanForAbout95Seconds(const std::string& event) {
  return std::regex_match(event, std::regex("worker 4242 Installer exited with code 0 after 9[5-9] s"));
}

TEST(ApplyWorkerTest, TheHistoryTellsTheInstallationWithTheInstallersExitCodeAndDuration) {
  StagedRelease test;
  Machine().processes.programs[test.Installer()].runsFor = 95'000;
  EXPECT_EQ(test.Run(), "");
  EXPECT_THAT(HistoryEvents(), ElementsAre("worker 4242 Worker started", "worker 4242 Installing release 2.0.0",
                                           testing::Truly(InstallerRanForAbout95Seconds),
                                           "worker 4242 Installed release 2.0.0", "worker 4242 Worker ended"));
}

TEST(ApplyWorkerTest, TheHistoryKeepsAFailedInstallersExitCodeAndTheWorkersFailure) {
  StagedRelease test;
  Machine().processes.programs[test.Installer()].exitCode = 1603;
  EXPECT_EQ(test.Run(), "Native installer reported a failure");
  EXPECT_THAT(HistoryEvents(),
              ElementsAre("worker 4242 Worker started", "worker 4242 Installing release 2.0.0",
                          testing::StartsWith("worker 4242 Installer exited with code 1603 after "),
                          "worker 4242 Worker ended: Native installer reported a failure"));
}

TEST(ApplyWorkerTest, KeepsADownloadThatIsBeingWritten) {
  StagedRelease test;
  Machine().fileSystem.AddFile(Data(u"download.partial"));
  Machine().fileSystem.HoldOpen(Data(u"download.partial"), os::GenericWrite, 0);
  EXPECT_EQ(test.Run(), "");
  EXPECT_NE(Machine().fileSystem.Find(Data(u"download.partial")), nullptr);
}

TEST(ApplyWorkerTest, EmptiesTheInstallersTemporaryDirectoryWithoutFollowingLinks) {
  StagedRelease test;
  FakeFileSystem& files = Machine().fileSystem;
  EnsureProtectedDirectory(Temporary);
  const std::u16string temporary(Temporary);
  files.AddFile(temporary + u"\\left-over.tmp");
  files.AddDirectory(temporary + u"\\unpacked");
  files.AddDirectory(temporary + u"\\unpacked\\nested");
  files.AddFile(temporary + u"\\unpacked\\nested\\setup.dll");
  // What lies beyond a junction the fake keeps under the junction's name.
  files.AddDirectory(u"C:\\ProgramData\\elsewhere");
  files.AddJunction(temporary + u"\\link", u"C:\\ProgramData\\elsewhere");
  files.AddFile(temporary + u"\\link\\precious.txt");
  files.AddFileLink(temporary + u"\\file-link", u"C:\\ProgramData\\elsewhere\\other.txt");
  files.AddFile(u"C:\\ProgramData\\elsewhere\\other.txt");
  EXPECT_EQ(test.Run(), "");
  EXPECT_THAT(NamesIn(Temporary), IsEmpty());
  EXPECT_NE(files.Find(temporary + u"\\link\\precious.txt"), nullptr) << "nothing removed through the junction";
  EXPECT_NE(files.Find(u"C:\\ProgramData\\elsewhere\\other.txt"), nullptr) << "the link went by itself";
  EXPECT_NE(files.Find(u"C:\\ProgramData\\elsewhere"), nullptr);
  EXPECT_TRUE(Machine().handles.open.empty());
}

TEST(ApplyWorkerTest, GivesTheInstallerAProtectedTemporaryDirectoryAndOtherwiseItsOwnEnvironment) {
  StagedRelease test;
  EXPECT_EQ(test.Run(), "");
  const FakeLaunch& installer = Machine().processes.launches.at(0);
  EXPECT_EQ(installer.commandLine, u"\"" + test.Installer() + u"\" /S /NATIVEUPDATE");
  EXPECT_EQ(installer.creationFlags, os::CreateNoWindow | os::CreateUnicodeEnvironment | os::CreateSuspended);
  std::u16string temporary(Temporary);
  EXPECT_EQ(installer.environment,
            u"=C:=C:\\Windows\\system32"s + u'\0' + u"ComSpec=C:\\Windows\\system32\\cmd.exe" + u'\0' +
                u"Path=C:\\Windows\\system32;C:\\Windows" + u'\0' + u"TEMP=" + temporary + u'\0' + u"TMP=" +
                temporary + u'\0' + u"windir=C:\\Windows" + u'\0' + u'\0');
  ValidateObjectAcl(temporary);
}

}  // namespace
}  // namespace ostrel
