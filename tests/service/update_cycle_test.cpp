#include "service/update_cycle.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_os/fake_machine.h"
#include "foundation/failure.h"
#include "foundation/json_access.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "installed_updater.h"
#include "locations/updater_locations.h"
#include "os/file.h"
#include "os/file_system.h"
#include "published_release.h"
#include "release/release_metadata.h"
#include "state/installer_verification.h"
#include "state/machine_policy.h"
#include "state/registry_state.h"

namespace ostrel {
namespace {

using namespace fake;
using test::Publish;
using test::PublishedRelease;
using test::SetInstalledVersion;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr std::uint32_t BrowserProcessId = 1000;

std::u16string Data(std::u16string_view name) { return JoinPath(UpdaterDataDirectory(), name); }
std::u16string Data(const std::string& name) { return Data(ToUtf16(name)); }

// The document WriteStatus publishes, for expectations.
std::string Status(const std::string& state, const std::string& available = "", const std::string& message = "",
                   const std::string& installed = "1.0.0") {
  std::string document = R"({"ok":true,"state":")" + state + R"(","installedVersion":")" + installed + '"';
  if (!available.empty()) document += R"(,"availableVersion":")" + available + '"';
  if (!message.empty()) document += R"(,"message":")" + message + '"';
  return document + "}";
}

// The cycle as the service host runs it on an installed updater, every
// published status recorded.
class UpdateCycleTest : public testing::Test {
 protected:
  UpdateCycleTest() { Arrange(); }

  void Arrange() {
    Machine().identity = FakeIdentity::LocalSystem();
    test::ArrangeInstalledUpdater();
    // The service host has made the stop event before the cycle runs.
    Machine().stopEvent = false;
    Machine().fileSystem.afterMove = [this](const std::u16string& key) {
      if (key == u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER\\STATUS.JSON") {
        statuses.push_back(Machine().fileSystem.files.at(key)->contents);
      }
    };
  }

  static void Stage(const PublishedRelease& release) {
    Machine().fileSystem.AddFile(Data(ReleaseMetadataName), release.metadata);
    Machine().fileSystem.AddFile(Data(ReleaseSignatureName), release.signature);
    Machine().fileSystem.AddFile(Data(release.file), release.installer);
  }

  static void Serve(const PublishedRelease& release) {
    auto& responses = Machine().http.responses;
    responses[u"/updates/native/release.json"] = {200, release.metadata};
    responses[u"/updates/native/release.sig"] = {200, release.signature};
    responses[u"/updates/native/" + ToUtf16(release.file)] = {200, release.installer};
  }

  // The browser runs through this many checks, then is closed.
  static void BrowserRunsFor(int checks) {
    if (checks == 0) return;
    Machine().processes.running.push_back({BrowserProcessId, u"chrome.exe", BrowserExecutablePath()});
    Machine().whileWaitingForStop = [checks] {
      if (static_cast<int>(Machine().stopWaits.size()) < checks) return;
      std::erase_if(Machine().processes.running, [](const FakeProcess& p) { return p.id == BrowserProcessId; });
    };
  }

  // A user holds the file open for reading through the first three passes
  // of a browser that runs through four.
  static void HeldForThreePassesOfFour(std::u16string_view path, std::uint32_t shareMode) {
    const std::uintptr_t holder = Machine().fileSystem.HoldOpen(path, os::GenericRead, shareMode);
    BrowserRunsFor(4);
    const auto closeBrowser = Machine().whileWaitingForStop;
    Machine().whileWaitingForStop = [closeBrowser, holder] {
      if (Machine().stopWaits.size() == 3) Machine().fileSystem.openFiles.erase(holder);
      closeBrowser();
    };
  }

  // "" when the cycle returned normally, otherwise its failure's message.
  static std::string Run() {
    try {
      RunUpdateCycle();
    } catch (const std::exception& failure) {
      return failure.what();
    } catch (const hresult_error&) {
      return "hresult_error";
    }
    return "";
  }

  static std::vector<std::u16string> Requests() {
    std::vector<std::u16string> paths;
    for (const std::u16string& target : Machine().http.requestTargets) paths.push_back(target.substr(0, target.find(u'?')));
    return paths;
  }

  static std::string Content(std::u16string_view path) {
    FakeFile* file = Machine().fileSystem.Find(path);
    return file == nullptr ? "<missing>" : file->contents;
  }

  static std::vector<std::u16string> Launches() {
    std::vector<std::u16string> commandLines;
    for (const FakeLaunch& launch : Machine().processes.launches) commandLines.push_back(launch.commandLine);
    return commandLines;
  }

  // The staged 1.1.0, then 1.2.0 offered while the browser runs for one
  // check and staged in its place before the hand-off.
  void ReplaceTheStagedReleaseAndHandItOff() {
    Stage(staged);
    Serve(newer);
    BrowserRunsFor(1);
    EXPECT_EQ(Run(), "");
    EXPECT_THAT(statuses, ElementsAre(Status("ready", "1.1.0"), Status("downloading", "1.2.0"),
                                      Status("ready", "1.2.0"), Status("installing", "1.2.0")));
  }

  std::vector<std::string> statuses;
  const PublishedRelease staged = Publish("1.1.0");
  const PublishedRelease newer = Publish("1.2.0");
  const std::u16string workerLaunch = u"\"C:\\ProgramData\\OstrelNativeUpdater\\OstrelApply.exe\" --apply 4242";
};

TEST_F(UpdateCycleTest, WithTheBrowserClosedAndNothingStagedEndsWithoutAWord) {
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(Requests(), IsEmpty());
  EXPECT_THAT(statuses, IsEmpty());
  EXPECT_THAT(Launches(), IsEmpty());
}

TEST_F(UpdateCycleTest, HandsAStagedReleaseToTheWorkerWithoutDownloading) {
  Stage(staged);
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(Requests(), IsEmpty());
  EXPECT_THAT(statuses, ElementsAre(Status("ready", "1.1.0"), Status("installing", "1.1.0")));
  EXPECT_THAT(Launches(), ElementsAre(workerLaunch));
  EXPECT_EQ(Content(ApplyWorkerPath()), "updater image");
}

struct StagedFilesCase {
  const char* name;
  std::function<void(const PublishedRelease&)> spoil;
};

class UnusableStagedReleaseTest : public UpdateCycleTest, public testing::WithParamInterface<StagedFilesCase> {};

TEST_P(UnusableStagedReleaseTest, IsNeitherReportedNorHandedOff) {
  Stage(staged);
  GetParam().spoil(staged);
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, IsEmpty());
  EXPECT_THAT(Launches(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Spoiled, UnusableStagedReleaseTest,
    testing::Values(
        StagedFilesCase{"InstallerChanged",
                        [](const PublishedRelease& release) {
                          Machine().fileSystem.Find(Data(release.file))->contents.back() ^= 1;
                        }},
        StagedFilesCase{
            "InstallerMissing",
            [](const PublishedRelease& release) { ASSERT_EQ(os::DeleteFile(Data(release.file)), std::nullopt); }},
        StagedFilesCase{
            "MetadataNotSigned",
            [](const PublishedRelease&) { Machine().fileSystem.Find(Data(ReleaseMetadataName))->contents += ' '; }},
        StagedFilesCase{"InstallerWritableByUsers",
                        [](const PublishedRelease& release) {
                          Machine().fileSystem.Find(Data(release.file))->security.dacl->push_back(
                              Allowed(UsersSid, os::FileWriteData));
                        }}),
    [](const testing::TestParamInfo<StagedFilesCase>& info) { return info.param.name; });

// A worker that ended after its installer ran and the version was recorded,
// killed before it could publish, leaves "installing" behind and the staged
// release in place. The service's next start says the truth, even with the
// browser closed, when no check would.
TEST_F(UpdateCycleTest, AStagedReleaseNoLongerNewerIsPublishedUpToDate) {
  for (const char16_t* installed : {u"1.1.0", u"1.1.1"}) {
    statuses.clear();
    Stage(staged);
    SetInstalledVersion(installed);
    EXPECT_EQ(Run(), "");
    const std::u16string version(installed);
    EXPECT_THAT(statuses, ElementsAre(Status("up_to_date", "", "", std::string(version.begin(), version.end()))));
    EXPECT_THAT(Launches(), IsEmpty());
  }
}

TEST_F(UpdateCycleTest, ReturnsAtOnceWhileATransactionIsActive) {
  Stage(staged);
  Machine().fileSystem.AddFile(Data(TransactionLockName));
  Machine().fileSystem.HoldOpen(Data(TransactionLockName), os::GenericRead | os::GenericWrite, 0);
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, IsEmpty());
  EXPECT_THAT(Launches(), IsEmpty());
}

TEST_F(UpdateCycleTest, AnUninstallEndsTheLoopBeforeAnyCheckOrHandOff) {
  Stage(staged);
  BrowserRunsFor(3);
  Machine().registry.SetValue(RegistryView::Bit64, UpdaterRegistryKey, u"Uninstalling", FakeRegistryValue::Dword(1));
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(Requests(), IsEmpty());
  EXPECT_THAT(statuses, ElementsAre(Status("ready", "1.1.0")));
  EXPECT_THAT(Launches(), IsEmpty());
}

TEST_F(UpdateCycleTest, AnUninstallDuringTheCycleEndsItAtTheNextPass) {
  Serve(staged);
  BrowserRunsFor(5);
  Machine().whileWaitingForStop = [] {
    Machine().registry.SetValue(RegistryView::Bit64, UpdaterRegistryKey, u"Uninstalling",
                                FakeRegistryValue::Dword(1));
  };
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, ElementsAre(Status("downloading", "1.1.0"), Status("ready", "1.1.0")));
  EXPECT_EQ(Machine().stopWaits.size(), 1u);
  EXPECT_THAT(Launches(), IsEmpty()) << "no hand-off during an uninstall";
}

TEST_F(UpdateCycleTest, AnEqualReleaseIsUpToDateAtEveryPass) {
  SetInstalledVersion(u"1.1.0");
  Serve(staged);
  BrowserRunsFor(2);
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, ElementsAre(Status("up_to_date", "", "", "1.1.0"), Status("up_to_date", "", "", "1.1.0")));
  EXPECT_THAT(Machine().stopWaits, ElementsAre(5000, 5000));
  EXPECT_THAT(Requests(), ElementsAre(u"/updates/native/release.json", u"/updates/native/release.sig",
                                      u"/updates/native/release.json", u"/updates/native/release.sig"));
}

TEST_F(UpdateCycleTest, TheStagedReleaseOfferedAgainIsNeitherDownloadedNorReported) {
  Stage(staged);
  Serve(staged);
  BrowserRunsFor(1);
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(Requests(), ElementsAre(u"/updates/native/release.json", u"/updates/native/release.sig"));
  EXPECT_THAT(statuses, ElementsAre(Status("ready", "1.1.0"), Status("installing", "1.1.0")));
}

TEST_F(UpdateCycleTest, StagesANewerReleaseAndDeletesTheInstallerItReplaces) {
  ReplaceTheStagedReleaseAndHandItOff();
  EXPECT_EQ(Content(Data(newer.file)), newer.installer);
  EXPECT_EQ(Content(Data(staged.file)), "<missing>");
  EXPECT_EQ(Content(PartialDownloadPath()), "<missing>");
  EXPECT_EQ(Content(Data(ReleaseMetadataName)), newer.metadata);
  EXPECT_EQ(Content(Data(ReleaseSignatureName)), newer.signature);
  EXPECT_THAT(Launches(), ElementsAre(workerLaunch));
}

TEST_F(UpdateCycleTest, ANewerReleaseOfTheSameInstallerNameReplacesIt) {
  const PublishedRelease rebuilt = Publish("1.1.1", "rebuilt installer", staged.file);
  Stage(staged);
  Serve(rebuilt);
  BrowserRunsFor(1);
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(Content(Data(staged.file)), "rebuilt installer");
  EXPECT_EQ(Content(Data(ReleaseMetadataName)), rebuilt.metadata);
  EXPECT_THAT(statuses, ElementsAre(Status("ready", "1.1.0"), Status("downloading", "1.1.1"),
                                    Status("ready", "1.1.1"), Status("installing", "1.1.1")));
}

TEST_F(UpdateCycleTest, AFailedCheckIsPublishedAndRetried) {
  BrowserRunsFor(2);
  EXPECT_EQ(Run(), "");
  const std::string failure = Status("error", "", "Update server returned a non-success response");
  EXPECT_THAT(statuses, ElementsAre(failure, failure));
}

TEST_F(UpdateCycleTest, AFailedCheckKeepsAStagedReleaseReady) {
  Stage(staged);
  Serve(newer);
  Machine().http.responses.erase(u"/updates/native/" + ToUtf16(newer.file));
  BrowserRunsFor(1);
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, ElementsAre(Status("ready", "1.1.0"), Status("downloading", "1.2.0"),
                                    Status("ready", "1.1.0", "Update server returned a non-success response"),
                                    Status("installing", "1.1.0")));
  EXPECT_EQ(Content(Data(ReleaseMetadataName)), staged.metadata);
  EXPECT_THAT(Launches(), ElementsAre(workerLaunch));
}

TEST_F(UpdateCycleTest, AnInstallerThatDoesNotMatchItsMetadataIsNeverCommitted) {
  PublishedRelease tampered = newer;
  tampered.installer.back() ^= 1;
  Serve(tampered);
  BrowserRunsFor(1);
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, ElementsAre(Status("downloading", "1.2.0"), Status("error", "", "Installer SHA-512 mismatch")));
  EXPECT_EQ(Content(Data(newer.file)), "<missing>");
  EXPECT_EQ(Content(Data(ReleaseMetadataName)), "<missing>");
  EXPECT_THAT(Launches(), IsEmpty());
}

// A release whose installer fails its verification (a cache still serving
// another file under its name) is not downloaded at every check: the
// metadata is checked at the usual pace, the installer again only after a
// pause that doubles, and the failure stays shown meanwhile.
TEST_F(UpdateCycleTest, AnInstallerThatFailedVerificationIsDownloadedAgainOnlyAfterAPause) {
  PublishedRelease tampered = newer;
  tampered.installer.back() ^= 1;
  Serve(tampered);
  BrowserRunsFor(60);  // seven minutes of checks
  EXPECT_EQ(Run(), "");
  const std::vector<std::u16string> requests = Requests();
  EXPECT_EQ(std::ranges::count(requests, u"/updates/native/release.json"), 60);
  EXPECT_EQ(std::ranges::count(requests, u"/updates/native/" + ToUtf16(newer.file)), 3) << "at 0, 2 and 6 minutes";
  EXPECT_EQ(statuses.back(), Status("error", "", "Installer SHA-512 mismatch"));
  EXPECT_EQ(std::ranges::count(statuses, Status("downloading", "1.2.0")), 3);
}

// The pause outlives the service, so restarts do not turn it into a storm;
// a corrected release, new signed metadata, is taken at once.
TEST_F(UpdateCycleTest, ThePauseOutlivesARestartButHoldsBackNoOtherRelease) {
  PublishedRelease tampered = newer;
  tampered.installer.back() ^= 1;
  const std::u16string installer = u"/updates/native/" + ToUtf16(newer.file);
  Serve(tampered);
  BrowserRunsFor(1);
  EXPECT_EQ(Run(), "");

  Machine().http.requestTargets.clear();
  Machine().stopWaits.clear();
  statuses.clear();
  BrowserRunsFor(1);
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(std::ranges::count(Requests(), installer), 0);
  EXPECT_THAT(statuses, ElementsAre(Status("error", "", "Installer SHA-512 mismatch")));

  const PublishedRelease corrected = Publish("1.2.1");
  Serve(corrected);
  Machine().stopWaits.clear();
  statuses.clear();
  BrowserRunsFor(1);
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, ElementsAre(Status("downloading", "1.2.1"), Status("ready", "1.2.1"),
                                    Status("installing", "1.2.1")));
}

// A server in trouble can slow the whole fleet down, but for an hour at most.
TEST_F(UpdateCycleTest, AServerThatAsksForAPauseGetsItForAnHourAtMost) {
  const struct {
    std::uint32_t status;
    const char16_t* retryAfter;
    std::uint32_t pause;
  } cases[] = {
      {503, u"120", 120'000}, {429, u"600", 600'000}, {503, u"86400", 3'600'000}, {503, u"1", 5'000},
      {500, u"120", 5'000},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.status);
    fake::ResetMachine();
    Arrange();
    statuses.clear();
    Machine().http.responses[u"/updates/native/release.json"] = {row.status, "busy"};
    Machine().http.responses[u"/updates/native/release.json"].retryAfter = row.retryAfter;
    BrowserRunsFor(2);
    EXPECT_EQ(Run(), "");
    EXPECT_THAT(Machine().stopWaits, ElementsAre(row.pause, row.pause));
    const std::string failure = Status("error", "", "Update server returned a non-success response");
    EXPECT_THAT(statuses, ElementsAre(failure, failure));
  }
}

// One TLS handshake for the service's life, not two per pass.
TEST_F(UpdateCycleTest, EveryRequestOfEveryPassTravelsOnOneConnection) {
  SetInstalledVersion(u"1.1.0");
  Serve(staged);
  BrowserRunsFor(3);
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(Requests().size(), 6u);
  EXPECT_EQ(std::ranges::count(Machine().http.opened, "session"), 1);
  EXPECT_EQ(std::ranges::count(Machine().http.opened, "connection"), 1);
  EXPECT_THAT(Machine().http.open, IsEmpty()) << "closed as the cycle ends";
}

// A user may hold the installer's name open (users may read the working
// directory): the verified download waits in download.partial, and every
// later pass tries its commit again instead of downloading it again.
TEST_F(UpdateCycleTest, AnInstallerNameHeldOpenCostsOneDownloadAndIsCommittedOnceFree) {
  Serve(newer);
  Machine().fileSystem.AddFile(Data(newer.file), "an earlier download");
  HeldForThreePassesOfFour(Data(newer.file), os::FileShareRead | os::FileShareDelete);
  EXPECT_EQ(Run(), "");
  const std::string held = Status("error", "", "Commit verified installer (5)");
  EXPECT_THAT(statuses, ElementsAre(Status("downloading", "1.2.0"), held, held, held, Status("ready", "1.2.0"),
                                    Status("installing", "1.2.0")));
  EXPECT_EQ(std::ranges::count(Requests(), u"/updates/native/" + ToUtf16(newer.file)), 1);
  EXPECT_EQ(Content(Data(newer.file)), newer.installer);
  EXPECT_EQ(Content(PartialDownloadPath()), "<missing>");
  EXPECT_THAT(Launches(), ElementsAre(workerLaunch));
}

// A download.partial that no longer holds what an earlier pass verified is
// downloaded again: a new release, or the same one after a different one.
TEST_F(UpdateCycleTest, AVerifiedDownloadIsReusedOnlyForItsOwnRelease) {
  const PublishedRelease sameName = Publish("1.2.1", "another installer", newer.file);
  Serve(newer);
  Machine().fileSystem.AddFile(Data(newer.file), "an earlier download");
  Machine().fileSystem.HoldOpen(Data(newer.file), os::GenericRead, os::FileShareRead);
  BrowserRunsFor(3);
  const auto closeBrowser = Machine().whileWaitingForStop;
  Machine().whileWaitingForStop = [this, closeBrowser, sameName] {
    Serve(Machine().stopWaits.size() == 1 ? sameName : newer);
    closeBrowser();
  };
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, ElementsAre(Status("downloading", "1.2.0"), Status("error", "", "Commit verified installer (5)"),
                                    Status("downloading", "1.2.1"), Status("error", "", "Commit verified installer (5)"),
                                    Status("downloading", "1.2.0"), Status("error", "", "Commit verified installer (5)")));
  EXPECT_EQ(std::ranges::count(Requests(), u"/updates/native/" + ToUtf16(newer.file)), 3);
}

// A transfer cut at one pass continues at the next from where it was cut,
// and nothing of the download is left once the installer is committed.
TEST_F(UpdateCycleTest, ACutDownloadContinuesAtTheNextPass) {
  Serve(newer);
  Machine().http.responses[u"/updates/native/" + ToUtf16(newer.file)].dropsAfter = 10;
  BrowserRunsFor(2);
  const auto closeBrowser = Machine().whileWaitingForStop;
  Machine().whileWaitingForStop = [this, closeBrowser] {
    Machine().http.responses[u"/updates/native/" + ToUtf16(newer.file)].dropsAfter.reset();
    closeBrowser();
  };
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, ElementsAre(Status("downloading", "1.2.0"), Status("error", "", "Read update download (12030)"),
                                    Status("downloading", "1.2.0"), Status("ready", "1.2.0"),
                                    Status("installing", "1.2.0")));
  EXPECT_EQ(Machine().http.sentHeaders.back(), u"Cache-Control: no-cache\r\nRange: bytes=10-\r\n");
  EXPECT_EQ(Content(Data(newer.file)), newer.installer);
  EXPECT_EQ(Content(PartialDownloadPath()), "<missing>");
  EXPECT_EQ(Content(PartialDownloadReleasePath()), "<missing>");
}

// A stopped download leaves no "downloading" behind: nothing would ever
// replace it while the service is stopped.
TEST_F(UpdateCycleTest, AStopDuringTheDownloadSettlesTheStatus) {
  Serve(newer);
  BrowserRunsFor(3);
  Machine().http.beforeRead = [](std::size_t) {
    if (Machine().http.requestTargets.size() == 3) Machine().stopEvent = true;  // the installer's request
  };
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, ElementsAre(Status("downloading", "1.2.0"), Status("error", "", "Update check canceled")));
  EXPECT_NE(Content(PartialDownloadPath()), "<missing>") << "the partial download stays behind";
  EXPECT_THAT(Machine().stopWaits, IsEmpty());
}

TEST_F(UpdateCycleTest, AStopWhileWaitingEndsTheCycle) {
  SetInstalledVersion(u"1.1.0");
  Serve(staged);
  BrowserRunsFor(5);
  Machine().whileWaitingForStop = [] { Machine().stopEvent = true; };
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(statuses.size(), 1u);
  EXPECT_EQ(Machine().stopWaits.size(), 1u);
}

TEST_F(UpdateCycleTest, WithoutAnInstalledVersionTheCycleFails) {
  Serve(newer);
  BrowserRunsFor(1);
  Machine().registry.keys.clear();
  EXPECT_EQ(Run(), "Installed Ostrel version is unavailable");
  EXPECT_THAT(statuses, IsEmpty());
}

TEST_F(UpdateCycleTest, AFailedWorkerCopyEndsTheCycleAndTheNextStartReusesTheRelease) {
  Stage(staged);
  Machine().fileSystem.AddFile(ApplyWorkerPath(), "an earlier worker");
  std::uintptr_t holder = Machine().fileSystem.HoldOpen(ApplyWorkerPath(), os::GenericRead, 0);
  EXPECT_EQ(Run(), "Prepare protected updater worker (32)");
  EXPECT_THAT(statuses, ElementsAre(Status("ready", "1.1.0")));

  Machine().fileSystem.openFiles.erase(holder);
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, ElementsAre(Status("ready", "1.1.0"), Status("ready", "1.1.0"), Status("installing", "1.1.0")));
  EXPECT_THAT(Launches(), ElementsAre(workerLaunch));
}

TEST_F(UpdateCycleTest, AStopDuringTheDownloadKeepsAStagedReleaseReady) {
  Stage(staged);
  Serve(newer);
  BrowserRunsFor(3);
  Machine().http.beforeRead = [](std::size_t) {
    if (Machine().http.requestTargets.size() == 3) Machine().stopEvent = true;
  };
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, ElementsAre(Status("ready", "1.1.0"), Status("downloading", "1.2.0"),
                                    Status("ready", "1.1.0", "Update check canceled")));
}

// The status that announces the hand-off is the last moment a stop can keep
// the worker from starting; without a worker, the release is still ready.
TEST_F(UpdateCycleTest, AStopDuringTheHandOffStartsNoWorkerAndLeavesTheReleaseReady) {
  Stage(staged);
  const auto record = Machine().fileSystem.afterMove;
  Machine().fileSystem.afterMove = [record](const std::u16string& key) {
    record(key);
    if (Machine().fileSystem.files.at(key)->contents.find("installing") != std::string::npos) {
      Machine().stopEvent = true;
    }
  };
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, ElementsAre(Status("ready", "1.1.0"), Status("installing", "1.1.0"), Status("ready", "1.1.0")));
  EXPECT_THAT(Launches(), IsEmpty());
}

TEST_F(UpdateCycleTest, AWorkerThatCannotStartLeavesTheReleaseReadyWithTheFailure) {
  Stage(staged);
  Machine().processes.createProcessFailure = os::ErrorAccessDenied;
  EXPECT_EQ(Run(), "Start authenticated update (5)");
  EXPECT_THAT(statuses, ElementsAre(Status("ready", "1.1.0"), Status("installing", "1.1.0"),
                                    Status("ready", "1.1.0", "Start authenticated update (5)")));
}

// A service or worker that died (a kill, a power loss) left its work in the
// status; the next start tells the truth before anything else.
TEST_F(UpdateCycleTest, AStartReplacesAStatusThatShowsWorkNobodyDoesAnyMore) {
  const struct {
    const char* name;
    std::string left;
    bool releaseStaged;
    std::vector<std::string> statuses;
  } cases[] = {
      {"installing, nothing staged", Status("installing", "1.1.0"), false,
       {Status("error", "", "Update did not finish")}},
      {"downloading, nothing staged", Status("downloading", "1.2.0"), false,
       {Status("error", "", "Update did not finish")}},
      {"ready, its files gone", Status("ready", "1.1.0"), false, {Status("error", "", "Update did not finish")}},
      {"installing, the release still staged", Status("installing", "1.1.0"), true,
       {Status("ready", "1.1.0"), Status("installing", "1.1.0")}},
      {"a failed check stands", Status("error", "", "Update server returned a non-success response"), false, {}},
      {"up to date stands", Status("up_to_date"), false, {}},
  };
  for (const auto& machine : cases) {
    SCOPED_TRACE(machine.name);
    ResetMachine();
    Arrange();
    statuses.clear();
    Machine().fileSystem.AddFile(Data(StatusFileName), machine.left);
    if (machine.releaseStaged) Stage(staged);
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(statuses, machine.statuses);
  }
}

// A user holding the metadata or the signature of the working directory
// open keeps the new release from being committed for as long as he holds
// it: it costs one download, and the release is committed whole once he
// lets go, never the metadata of one release beside the signature of another.
TEST_F(UpdateCycleTest, AHeldReleaseFileCostsOneDownloadAndTheReleaseCommitsWhole) {
  const struct {
    std::u16string_view held;
    std::string failure;
  } cases[] = {
      {ReleaseMetadataName, "Commit release metadata (5)"},
      {ReleaseSignatureName, "Commit release signature (5)"},
  };
  for (const auto& reader : cases) {
    SCOPED_TRACE(ToUtf8(std::u16string(reader.held)));
    ResetMachine();
    Arrange();
    statuses.clear();
    Stage(staged);
    Serve(newer);
    HeldForThreePassesOfFour(Data(reader.held), os::FileShareRead);
    EXPECT_EQ(Run(), "");
    const std::string held = Status("ready", "1.1.0", reader.failure);
    EXPECT_THAT(statuses, ElementsAre(Status("ready", "1.1.0"), Status("downloading", "1.2.0"), held, held, held,
                                      Status("ready", "1.2.0"), Status("installing", "1.2.0")));
    EXPECT_EQ(std::ranges::count(Requests(), u"/updates/native/" + ToUtf16(newer.file)), 1);
    EXPECT_EQ(Content(Data(ReleaseMetadataName)), newer.metadata);
    EXPECT_EQ(Content(Data(ReleaseSignatureName)), newer.signature);
    EXPECT_EQ(Content(Data(newer.file)), newer.installer);
    EXPECT_EQ(Content(PartialDownloadReleasePath()), "<missing>");
  }
}

// Until the commit is done the files on disk are part old, part new: a
// browser closed meanwhile gets the commit finished before the hand-off.
TEST_F(UpdateCycleTest, AHandOffFinishesACommitAReaderInterrupted) {
  Serve(newer);
  Machine().fileSystem.AddFile(Data(ReleaseSignatureName), "a signature of no staged release");
  const std::uintptr_t holder =
      Machine().fileSystem.HoldOpen(Data(ReleaseSignatureName), os::GenericRead, os::FileShareRead);
  BrowserRunsFor(1);
  const auto closeBrowser = Machine().whileWaitingForStop;
  Machine().whileWaitingForStop = [closeBrowser, holder] {
    Machine().fileSystem.openFiles.erase(holder);
    closeBrowser();
  };
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, ElementsAre(Status("downloading", "1.2.0"), Status("error", "", "Commit release signature (5)"),
                                    Status("ready", "1.2.0"), Status("installing", "1.2.0")));
  EXPECT_EQ(Content(Data(ReleaseSignatureName)), newer.signature);
  EXPECT_THAT(Launches(), ElementsAre(workerLaunch));
}

// A worker that took the lock while the installer downloaded owns the
// working directory from then on: the download is not committed under it.
TEST_F(UpdateCycleTest, AWorkerThatTookTheLockDuringTheDownloadKeepsItFromBeingCommitted) {
  Serve(newer);
  BrowserRunsFor(3);
  Machine().http.beforeRead = [](std::size_t) {
    if (Machine().http.requestTargets.size() == 3 && Machine().fileSystem.Find(Data(TransactionLockName)) == nullptr) {
      Machine().fileSystem.AddFile(Data(TransactionLockName));
      Machine().fileSystem.HoldOpen(Data(TransactionLockName), os::GenericRead | os::GenericWrite, 0);
    }
  };
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(Content(Data(newer.file)), "<missing>");
  EXPECT_EQ(Content(Data(ReleaseMetadataName)), "<missing>");
  EXPECT_EQ(Content(PartialDownloadPath()), newer.installer);
  EXPECT_THAT(Launches(), IsEmpty());
}

// A worker another instance started during the pause ends the cycle before
// its next check, and so before any hand-off of its own.
TEST_F(UpdateCycleTest, AWorkerStartedDuringThePauseEndsTheCycleBeforeItsNextPass) {
  Stage(staged);
  Serve(staged);
  BrowserRunsFor(2);
  const auto closeBrowser = Machine().whileWaitingForStop;
  Machine().whileWaitingForStop = [closeBrowser] {
    if (Machine().stopWaits.size() == 1) {
      Machine().fileSystem.AddFile(ApplyWorkerPath(), "updater image");
      Machine().processes.Add(ApplyWorkerPath(), 0);
    }
    closeBrowser();
  };
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(Requests().size(), 2u) << "one check only";
  EXPECT_THAT(Launches(), IsEmpty());
}

// Any user may run the worker's image and keep it suspended. Such a process
// is taken for a worker on its way to the lock for a minute, and after that
// no longer keeps the service from its work: the hand-off ends it.
TEST_F(UpdateCycleTest, AProcessOfTheWorkersImageBlocksTheServiceOnlyInItsFirstMinute) {
  const struct {
    const char* name;
    std::uint64_t age;
    std::vector<std::string> statuses;
    bool handsOff;
  } cases[] = {
      {"started a moment ago", 1, {}, false},
      {"started two minutes ago", 120, {Status("ready", "1.1.0"), Status("installing", "1.1.0")}, true},
  };
  for (const auto& process : cases) {
    SCOPED_TRACE(process.name);
    ResetMachine();
    Arrange();
    statuses.clear();
    Stage(staged);
    Machine().fileSystem.AddFile(ApplyWorkerPath(), "an earlier worker");
    const std::uint32_t id = Machine().processes.Add(ApplyWorkerPath(), 0);
    Machine().processes.FindRunning(id)->createdAt = SystemFileTime() - process.age * 10'000'000;
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(statuses, process.statuses);
    EXPECT_EQ(Machine().processes.FindRunning(id) == nullptr, process.handsOff) << "ended by the hand-off";
    EXPECT_EQ(Launches().size(), process.handsOff ? 1u : 0u);
  }
}

// The browser's exit ends the pause at once: the hand-off follows within
// the time it takes to look, not at the end of the five seconds.
TEST_F(UpdateCycleTest, TheBrowsersExitEndsThePauseAndHandsOffAtOnce) {
  Stage(staged);
  SetInstalledVersion(u"1.0.0");
  Serve(staged);
  Machine().processes.running.push_back({BrowserProcessId, u"chrome.exe", BrowserExecutablePath()});
  Machine().processes.running.back().endsAt = Machine().tickCount + 60'000;
  std::uint64_t startedAt = 0;
  Machine().processes.whenStarted = [&startedAt](const FakeLaunch&) { startedAt = Machine().tickCount; };
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(Launches(), ElementsAre(workerLaunch));
  const std::uint64_t browserEnded = Machine().processes.ended.back().endsAt.value();
  EXPECT_LE(startedAt - browserEnded, 1000u) << "the hand-off waited for the pause to end";
}

// Another browser process that ends (a tab's, a second window's) wakes the
// pause, which then waits on for the rest of its time: checks keep their
// pace while the browser runs.
TEST_F(UpdateCycleTest, AnotherBrowserProcessThatEndsKeepsThePaceOfChecks) {
  SetInstalledVersion(u"1.1.0");
  Serve(staged);
  BrowserRunsFor(2);
  const std::uint32_t tab = Machine().processes.Add(BrowserExecutablePath(), 0);
  // It ends two seconds into the first pause.
  Machine().http.beforeRead = [tab](std::size_t) {
    FakeProcess* running = Machine().processes.FindRunning(tab);
    if (Machine().http.requestTargets.size() == 2 && running != nullptr) running->endsAt = Machine().tickCount + 2000;
  };
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(Machine().stopWaits.size(), 2u);
  EXPECT_EQ(Machine().stopWaits[0], 5000u);
  EXPECT_LT(Machine().stopWaits[1], 5000u) << "the rest of the pause";
  EXPECT_EQ(Requests().size(), 2u) << "a check brought forward";
}

// A process snapshot costs more under Wine than the rest of an idle pass
// together, so one per pass answers whether another updater is at work,
// whether the browser runs and which of its processes the pause waits on.
TEST_F(UpdateCycleTest, AnIdlePassTakesOneProcessSnapshot) {
  SetInstalledVersion(u"1.1.0");
  Serve(staged);
  BrowserRunsFor(3);
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(Machine().stopWaits.size(), 3u);
  EXPECT_EQ(std::ranges::count(Machine().processes.closed, "snapshot"), 1 + 3 + 1)
      << "the start's, one for each idle pass, and the last pass's, which finds the browser closed";
}

// The JSON layer's failures stand outside the standard hierarchy, so they
// pass the check's handler and end the cycle.
TEST_F(UpdateCycleTest, ASignedMetadataThatIsNotJsonEndsTheCycle) {
  const std::string notJson = "not json";
  Machine().http.responses[u"/updates/native/release.json"] = {200, notJson};
  Machine().http.responses[u"/updates/native/release.sig"] = {200, SignReleaseMetadata(test::ReleaseTestKeyPem, notJson)};
  BrowserRunsFor(3);
  EXPECT_EQ(Run(), "hresult_error");
  EXPECT_THAT(statuses, IsEmpty());
}

// A check stopped at each change it makes to the disk, as by a crash from
// that moment on, and the service started again once the browser is closed:
// whatever it hands off is an installer that matches the signed metadata
// beside it, and every published status is a whole document.
TEST_F(UpdateCycleTest, ACheckInterruptedAtAnyChangeNeverHandsOffAMismatchedInstaller) {
  for (std::size_t crashAt = 0;; ++crashAt) {
    SCOPED_TRACE("crash at change " + std::to_string(crashAt));
    ResetMachine();
    statuses.clear();
    Arrange();
    Stage(staged);
    Serve(newer);
    BrowserRunsFor(1);
    Machine().fileSystem.changes = 0;
    Machine().fileSystem.failChangesFrom = crashAt;
    Run();
    const bool crashed = Machine().fileSystem.changes > crashAt;

    Machine().fileSystem.failChangesFrom.reset();
    std::erase_if(Machine().processes.running, [](const FakeProcess& p) { return p.id == BrowserProcessId; });
    Machine().processes.launches.clear();
    EXPECT_EQ(Run(), "");
    // Metadata and signature of two releases side by side stage nothing.
    if (!Launches().empty()) {
      EXPECT_THAT(Launches(), ElementsAre(workerLaunch));
      ReleaseMetadata release = VerifyReleaseMetadata(Content(Data(ReleaseMetadataName)),
                                                      Content(Data(ReleaseSignatureName)));
      EXPECT_NO_THROW(VerifyInstaller(Data(release.file), release));
    }
    for (const std::string& status : statuses) EXPECT_NO_THROW(JsonObject::Parse(ToUtf16(status))) << status;
    if (!crashed) break;
  }
}

struct StartUpCase {
  const char* name;
  void (*arrange)();
  const char* failure;
};

class UpdateCycleStartUpTest : public UpdateCycleTest, public testing::WithParamInterface<StartUpCase> {};

TEST_P(UpdateCycleStartUpTest, RefusesToRunBeforeTouchingAnything) {
  Stage(staged);
  GetParam().arrange();
  EXPECT_EQ(Run(), GetParam().failure);
  EXPECT_THAT(statuses, IsEmpty());
  EXPECT_THAT(Launches(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Checks, UpdateCycleStartUpTest,
    testing::Values(
        StartUpCase{"NotLocalSystem", [] { Machine().identity = FakeIdentity(); }, "Updater service must run as SYSTEM"},
        StartUpCase{"NotAtItsFixedLocation",
                    [] { Machine().moduleFileName = u"C:\\ProgramData\\OstrelUpdate.exe"; },
                    "Updater is not installed in its fixed application directory"},
        StartUpCase{"WorkingDirectoryWritableByUsers",
                    [] {
                      Machine().fileSystem.Find(UpdaterDataDirectory())->security.dacl->push_back(
                          Allowed(UsersSid, os::FileAllAccess));
                    },
                    "Updater object is writable by an untrusted principal"}),
    [](const testing::TestParamInfo<StartUpCase>& info) { return info.param.name; });


// The history's lines without their time, as "<role> <pid> <event>".
std::vector<std::string> HistoryEvents() {
  FakeFile* history = Machine().fileSystem.Find(Data(HistoryName));
  std::vector<std::string> events;
  if (history == nullptr) return events;
  std::string_view rest = history->contents;
  for (std::size_t end = rest.find("\r\n"); end != std::string_view::npos; end = rest.find("\r\n")) {
    std::string_view line = rest.substr(0, end);
    events.emplace_back(line.substr(line.find(' ') + 1));
    rest.remove_prefix(end + 2);
  }
  return events;
}

void SetPolicy(const PolicyValue& value, FakeRegistryValue data) {
  Machine().registry.SetValue(RegistryView::Bit64, MachinePolicyKey, value.name, std::move(data));
}

TEST_F(UpdateCycleTest, TheHistoryTellsACheckThroughTheHandOff) {
  Serve(newer);
  BrowserRunsFor(1);
  EXPECT_EQ(Run(), "");
  const std::string bytes = std::to_string(newer.installer.size());
  EXPECT_THAT(HistoryEvents(),
              ElementsAre("service 4242 Service started", "service 4242 Found release 1.2.0",
                          "service 4242 Download of " + newer.file + " started",
                          "service 4242 Download of " + newer.file + " completed with " + bytes + " bytes",
                          "service 4242 Installer of release 1.2.0 verified",
                          "service 4242 Handed release 1.2.0 to the worker"));
}

TEST_F(UpdateCycleTest, TheHistoryKeepsARepeatedFailureOnceAndAFailedVerification) {
  PublishedRelease tampered = newer;
  tampered.installer.back() ^= 1;
  Serve(tampered);
  BrowserRunsFor(3);
  EXPECT_EQ(Run(), "");
  const std::vector<std::string> events = HistoryEvents();
  EXPECT_EQ(std::ranges::count(events, "service 4242 Found release 1.2.0"), 1);
  const auto failed = std::ranges::count_if(
      events, [](const std::string& event) { return event.starts_with("service 4242 Check failed: "); });
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(std::ranges::count_if(events,
                                  [](const std::string& event) {
                                    return event.starts_with(
                                        "service 4242 Installer of release 1.2.0 failed verification: ");
                                  }),
            1);
  EXPECT_EQ(std::ranges::count(events, "service 4242 Download of release 1.2.0 held back after a failed "
                                       "verification: Installer SHA-512 mismatch"),
            1)
      << "the two checks that held it back";
}

TEST_F(UpdateCycleTest, AHistoryThatCannotBeWrittenChangesNothingOfTheUpdate) {
  Machine().fileSystem.AddDirectory(Data(HistoryName));
  ReplaceTheStagedReleaseAndHandItOff();
  EXPECT_THAT(Launches(), ElementsAre(workerLaunch));
}

TEST_F(UpdateCycleTest, UpdatesTurnedOffByPolicyCheckNothingAndHandNothingOff) {
  SetPolicy(UpdatesEnabledPolicy, FakeRegistryValue::Dword(0));
  Stage(staged);
  Serve(newer);
  BrowserRunsFor(2);
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(Requests(), IsEmpty());
  EXPECT_THAT(statuses, IsEmpty());
  EXPECT_THAT(Launches(), IsEmpty());
  EXPECT_THAT(HistoryEvents(), ElementsAre("service 4242 Service started",
                                           "service 4242 Updates are turned off by machine policy"));
}

TEST_F(UpdateCycleTest, UpdatesTurnedOffDuringTheCycleEndItAtTheNextPass) {
  Serve(Publish("1.0.0"));
  BrowserRunsFor(5);
  const auto closeBrowser = Machine().whileWaitingForStop;
  Machine().whileWaitingForStop = [closeBrowser] {
    SetPolicy(UpdatesEnabledPolicy, FakeRegistryValue::Dword(0));
    closeBrowser();
  };
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(Requests(), ElementsAre(u"/updates/native/release.json", u"/updates/native/release.sig"));
}

TEST_F(UpdateCycleTest, AReleaseOutsideThePolicysPrefixIsNeitherDownloadedNorStaged) {
  SetPolicy(TargetVersionPrefixPolicy, FakeRegistryValue::String(u"1.1."));
  Serve(newer);
  BrowserRunsFor(2);
  EXPECT_EQ(Run(), "");
  const std::string held = Status("up_to_date", "", "Held at version 1.1 by machine policy");
  EXPECT_THAT(statuses, ElementsAre(held, held));
  EXPECT_THAT(Requests(), ElementsAre(u"/updates/native/release.json", u"/updates/native/release.sig",
                                      u"/updates/native/release.json", u"/updates/native/release.sig"));
  EXPECT_THAT(Launches(), IsEmpty());
  EXPECT_THAT(HistoryEvents(), ElementsAre("service 4242 Service started",
                                           "service 4242 Release 1.2.0 held back: Held at version 1.1 by machine "
                                           "policy"));
}

TEST_F(UpdateCycleTest, AReleaseWithinThePolicysPrefixIsUpdatedAsEver) {
  SetPolicy(TargetVersionPrefixPolicy, FakeRegistryValue::String(u"1"));
  Serve(newer);
  BrowserRunsFor(1);
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(Launches(), ElementsAre(workerLaunch));
}

TEST_F(UpdateCycleTest, AStagedReleaseOutsideThePolicysPrefixIsNotHandedOff) {
  SetPolicy(TargetVersionPrefixPolicy, FakeRegistryValue::String(u"1.0"));
  Stage(staged);
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(statuses, ElementsAre(Status("up_to_date", "", "Held at version 1.0 by machine policy")));
  EXPECT_THAT(Launches(), IsEmpty());
}

TEST_F(UpdateCycleTest, APolicyKeyUsersCanWriteIsIgnoredAndSaidInTheHistory) {
  SetPolicy(UpdatesEnabledPolicy, FakeRegistryValue::Dword(0));
  FakeSecurity security = TrustedKeySecurity();
  security.dacl->push_back(Allowed(UsersSid, os::KeySetValue));
  Machine().registry.security[FakeRegistry::Path(RegistryView::Bit64, MachinePolicyKey)] = security;
  Serve(newer);
  BrowserRunsFor(2);
  EXPECT_EQ(Run(), "");
  EXPECT_THAT(Launches(), ElementsAre(workerLaunch));
  const std::vector<std::string> events = HistoryEvents();
  EXPECT_EQ(std::ranges::count(events, "service 4242 Machine policy ignored: Updater object is writable by an "
                                       "untrusted principal"),
            1);
}

}  // namespace
}  // namespace ostrel
