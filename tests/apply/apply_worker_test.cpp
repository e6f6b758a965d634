#include "apply/apply_worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

void RunBrowser() { Machine().processes.running.push_back({1000, u"chrome.exe", BrowserExecutablePath()}); }

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
  // Every pause the worker made, in milliseconds.
  std::vector<std::uint32_t> sleeps = {};
};

TEST(ApplyWorkerTest, EndsAsEachEdgeCaseRequiresAndReleasesWhatItHolds) {
  const Scenario scenarios[] = {
      {"installs, the parent already gone", [](StagedRelease&) {}, "", true},
      {"not LocalSystem", [](StagedRelease&) { Machine().identity = FakeIdentity::StandardUser(); },
       "Only SYSTEM may apply a native release", false},
      {"run from the installed executable",
       [](StagedRelease&) { Machine().moduleFileName = JoinPath(UpdaterDirectory(), UpdaterExecutableName); },
       "Invalid updater worker location", false},
      {"run from a copy elsewhere",
       [](StagedRelease&) {
         Machine().fileSystem.AddFile(u"C:\\ProgramData\\OstrelApply.exe", "updater image");
         Machine().moduleFileName = u"C:\\ProgramData\\OstrelApply.exe";
       },
       "Invalid updater worker location", false},
      {"worker path in other case and with dot segments",
       [](StagedRelease&) {
         Machine().moduleFileName = u"c:\\programdata\\.\\OSTRELNATIVEUPDATER\\.\\ostrelapply.EXE";
       },
       "", true},
      {"lock held by another worker",
       [](StagedRelease& test) {
         ASSERT_EQ(os::CreateFile(Data(TransactionLockName), os::GenericRead | os::GenericWrite, 0, os::OpenAlways,
                                  os::FileAttributeNormal, test.held),
                   std::nullopt);
       },
       "Another update transaction is active (32)", false, std::vector<std::uint32_t>(20, 50)},
      {"parent still running",
       [](StagedRelease&) {
         Machine().processes.running.push_back({ParentId, u"other.exe", u"C:\\other.exe"});
       },
       "Updater service has not stopped", false},
      {"parent ends within the wait",
       [](StagedRelease&) {
         FakeProcess parent{ParentId, u"OstrelUpdate.exe", JoinPath(UpdaterDirectory(), UpdaterExecutableName)};
         parent.endsAt = Machine().processes.waited + 29000;
         Machine().processes.running.push_back(parent);
       },
       "", true},
      {"browser closed during the wait",
       [](StagedRelease&) {
         RunBrowser();
         Machine().whileSleeping = [] {
           if (Machine().sleeps.size() == 3) RemoveRunning(BrowserExecutablePath());
         };
       },
       "",
       true,
       {1000, 1000, 1000}},
      {"browser still running after 30 polls", [](StagedRelease&) { RunBrowser(); },
       "Browser is active or uninstall is in progress; update remains pending", false,
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
       {1000, 1000}},
      {"uninstall begins after the gate",
       [](StagedRelease&) {
         Machine().fileSystem.beforeCreateDirectory = [](std::u16string_view path) {
           if (path == Temporary) SetUninstalling();
         };
       },
       "Uninstall is in progress; pending update canceled", false},
      {"release.json changed on disk",
       [](StagedRelease&) { Machine().fileSystem.Find(Data(ReleaseMetadataName))->contents += ' '; },
       "Release signature mismatch", false},
      {"installer changed on disk",
       [](StagedRelease& test) {
         std::string& contents = Machine().fileSystem.Find(test.Installer())->contents;
         contents[0] ^= 1;
       },
       "Installer SHA-512 mismatch", false},
      {"installer held open for writing by someone else",
       [](StagedRelease& test) {
         ASSERT_EQ(os::CreateFile(test.Installer(), os::GenericWrite,
                                  os::FileShareRead | os::FileShareWrite | os::FileShareDelete, os::OpenExisting,
                                  os::FileAttributeNormal, test.held),
                   std::nullopt);
       },
       "Installer cannot be read", false},
      {"installed version reached the release", [](StagedRelease&) { test::SetInstalledVersion(u"2.0.0"); }, "", false},
      {"installed version passed the release", [](StagedRelease&) { test::SetInstalledVersion(u"2.0.1"); }, "", false},
      {"installer fails", [](StagedRelease& test) { Machine().processes.programs[test.Installer()].exitCode = 1603; },
       "Native installer reported a failure", true},
      {"installer does not finish",
       [](StagedRelease& test) { Machine().processes.programs[test.Installer()].runsFor = std::nullopt; },
       "Installer did not finish; it was not terminated", true},
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
    bool succeeded = scenario.message.empty() && scenario.installs;
    if (succeeded) {
      EXPECT_EQ(ReadInstalledVersion(), u"2.0.0");
      EXPECT_THAT(test.statuses, ElementsAre(R"({"ok":true,"state":"up_to_date","installedVersion":"2.0.0"})"));
      EXPECT_EQ(Machine().fileSystem.Find(test.Installer()), nullptr);
      for (std::u16string_view kept : {ReleaseMetadataName, ReleaseSignatureName, TransactionLockName}) {
        EXPECT_NE(Machine().fileSystem.Find(Data(kept)), nullptr) << ToUtf8(kept);
      }
      EXPECT_NE(Machine().fileSystem.Find(ApplyWorkerPath()), nullptr);
    } else {
      EXPECT_EQ(ReadInstalledVersion(), versionBefore);
      EXPECT_THAT(test.statuses, IsEmpty());
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
  // Once started, the installer is no longer held: the worker deletes it.
  EXPECT_EQ(Machine().fileSystem.Find(test.Installer()), nullptr);
}

TEST(ApplyWorkerTest, GivesTheInstallerAProtectedTemporaryDirectoryAndOtherwiseItsOwnEnvironment) {
  StagedRelease test;
  EXPECT_EQ(test.Run(), "");
  const FakeLaunch& installer = Machine().processes.launches.at(0);
  EXPECT_EQ(installer.commandLine, u"\"" + test.Installer() + u"\" /S /NATIVEUPDATE");
  EXPECT_EQ(installer.creationFlags, os::CreateNoWindow | os::CreateUnicodeEnvironment);
  std::u16string temporary(Temporary);
  EXPECT_EQ(installer.environment,
            u"=C:=C:\\Windows\\system32"s + u'\0' + u"ComSpec=C:\\Windows\\system32\\cmd.exe" + u'\0' +
                u"Path=C:\\Windows\\system32;C:\\Windows" + u'\0' + u"TEMP=" + temporary + u'\0' + u"TMP=" +
                temporary + u'\0' + u"windir=C:\\Windows" + u'\0' + u'\0');
  ValidateObjectAcl(temporary);
}

}  // namespace
}  // namespace ostrel
