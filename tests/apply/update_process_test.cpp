#include "apply/update_process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "fake_os/fake_machine.h"
#include "os/error_code.h"
#include "os/process.h"
#include "runtime_error_matcher.h"

namespace ostrel {
namespace {

using fake::Machine;
using testing::Each;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr std::u16string_view Installer = u"C:\\ProgramData\\OstrelNativeUpdater\\ostrel-setup.exe";
// The copy of itself an installer may start to do the work, and end at once.
constexpr std::u16string_view Relaunched = u"C:\\ProgramData\\OstrelNativeUpdater\\installer-temp\\ostrel-setup.exe";

class UpdateProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    Machine().fileSystem.AddDirectory(u"C:\\ProgramData\\OstrelNativeUpdater");
    Machine().fileSystem.AddFile(Installer);
  }

  static fake::FakeProgram& InstallerProgram() { return Machine().processes.programs[std::u16string(Installer)]; }

  // The installer and the copy it started, as they run and as they ended.
  static std::vector<std::u16string> Running() {
    std::vector<std::u16string> images;
    for (const fake::FakeProcess& process : Machine().processes.running) {
      if (process.imagePath == Installer || process.imagePath == Relaunched) images.push_back(process.imagePath);
    }
    return images;
  }
  static std::vector<std::uint32_t> ExitCodes() {
    std::vector<std::uint32_t> codes;
    for (const fake::FakeProcess& process : Machine().processes.ended) codes.push_back(process.exitCode);
    return codes;
  }

  static void ExpectFailure(std::u16string_view path, const char* message) {
    EXPECT_THAT([path] { StartUpdateProcess(path, u"/S /NATIVEUPDATE", true); }, FailsWith(message));
    EXPECT_THAT(Machine().handles.open, IsEmpty()) << "a handle was left open";
  }
};

TEST_F(UpdateProcessTest, QuotesThePathAndRunsInItsParentDirectory) {
  Machine().fileSystem.AddFile(u"C:\\ProgramData\\OstrelNativeUpdater\\OstrelApply.exe");
  Machine().fileSystem.AddDirectory(u"C:\\Program Data");
  Machine().fileSystem.AddFile(u"C:\\Program Data\\Ostrel Setup 2.exe");
  Machine().fileSystem.AddDirectory(u"C:\\data");
  Machine().fileSystem.AddFile(u"C:\\data\\setup.exe");
  Machine().fileSystem.AddFile(u"C:\\setup.exe");
  const struct {
    std::u16string_view path;
    std::u16string_view arguments;
    std::u16string_view commandLine;
    std::u16string_view directory;
  } cases[] = {
      {u"C:\\ProgramData\\OstrelNativeUpdater\\OstrelApply.exe", u"--apply 4242",
       u"\"C:\\ProgramData\\OstrelNativeUpdater\\OstrelApply.exe\" --apply 4242", u"C:\\ProgramData\\OstrelNativeUpdater"},
      {u"C:\\Program Data\\Ostrel Setup 2.exe", u"/S /NATIVEUPDATE",
       u"\"C:\\Program Data\\Ostrel Setup 2.exe\" /S /NATIVEUPDATE", u"C:\\Program Data"},
      {u"C:\\data\\\\/setup.exe", u"", u"\"C:\\data\\\\/setup.exe\" ", u"C:\\data"},
      {u"C:\\setup.exe", u"/S", u"\"C:\\setup.exe\" /S", u"C:\\"},
  };
  for (const auto& launch : cases) {
    StartUpdateProcess(launch.path, launch.arguments, false);
    const fake::FakeLaunch& started = Machine().processes.launches.back();
    EXPECT_EQ(started.applicationName, launch.path);
    EXPECT_EQ(started.commandLine, launch.commandLine);
    EXPECT_EQ(started.currentDirectory, launch.directory);
  }
}

TEST_F(UpdateProcessTest, StartsHiddenWithoutAWindowAndWithoutInheritingHandlesAndSuspendedWhenWaitedFor) {
  for (bool wait : {false, true}) {
    StartUpdateProcess(Installer, u"/S /NATIVEUPDATE", wait);
    const fake::FakeLaunch& started = Machine().processes.launches.back();
    EXPECT_FALSE(started.inheritHandles);
    EXPECT_EQ(started.creationFlags, os::CreateNoWindow | (wait ? os::CreateSuspended : 0)) << wait;
    EXPECT_EQ(started.startupInfo.flags, os::StartfUseShowWindow);
    EXPECT_EQ(started.startupInfo.showWindow, os::SwHide);
  }
}

TEST_F(UpdateProcessTest, WithoutWaitingNeitherWaitsNorReadsTheExitCode) {
  InstallerProgram().exitCode = 1;
  InstallerProgram().runsFor = std::nullopt;
  Machine().processes.exitCodeFailure = os::ErrorInvalidHandle;
  StartUpdateProcess(Installer, u"--apply 12", false);
  EXPECT_THAT(Machine().sleeps, IsEmpty());
  EXPECT_THAT(Machine().processes.jobs, IsEmpty());
  EXPECT_THAT(Machine().handles.open, IsEmpty());
  EXPECT_EQ(Machine().processes.running.back().imagePath, Installer) << "it runs on";
}

TEST_F(UpdateProcessTest, WaitsForEveryProcessTheInstallerStartedAndTakesTheInstallersExitCode) {
  const struct {
    const char* name;
    std::uint32_t exitCode;
    std::optional<std::uint64_t> runsFor;
    std::optional<std::uint64_t> copyRunsFor;
    const char* message;
  } cases[] = {
      {"runs the whole limit", 0, 1200000, std::nullopt, ""},
      {"relaunched, the copy runs on", 0, 0, 300000, ""},
      {"relaunched and ended before the copy", 0, 60000, 300000, ""},
      {"failed, its copy ran on", 1603, 0, 300000, "Native installer reported a failure"},
  };
  for (const auto& run : cases) {
    SCOPED_TRACE(run.name);
    fake::ResetMachine();
    SetUp();
    InstallerProgram() = {run.runsFor, run.exitCode};
    if (run.copyRunsFor) InstallerProgram().children = {{std::u16string(Relaunched), run.copyRunsFor}};
    const std::uint64_t before = Machine().tickCount;
    if (*run.message) {
      ExpectFailure(Installer, run.message);
    } else {
      StartUpdateProcess(Installer, u"/S /NATIVEUPDATE", true);
      EXPECT_THAT(Machine().handles.open, IsEmpty());
    }
    EXPECT_GE(Machine().tickCount - before, std::max(*run.runsFor, run.copyRunsFor.value_or(0)));
    EXPECT_THAT(ExitCodes(), Each(testing::Ne(os::WaitTimeout))) << "a process was terminated";
    EXPECT_EQ(ExitCodes().size(), run.copyRunsFor ? 2u : 1u);
  }
}

TEST_F(UpdateProcessTest, TerminatesEveryProcessOfTheJobAtTheLimit) {
  const struct {
    const char* name;
    std::optional<std::uint64_t> runsFor;
    // The copy it starts, which runs for ever, and then the exit codes.
    bool relaunches;
    std::vector<std::uint32_t> exitCodes;
  } cases[] = {
      {"runs for ever", std::nullopt, false, {os::WaitTimeout}},
      {"runs ten seconds too long", 1210000, false, {os::WaitTimeout}},
      {"relaunched, the copy runs for ever", 0, true, {0, os::WaitTimeout}},
      {"relaunched, both run for ever", std::nullopt, true, {os::WaitTimeout, os::WaitTimeout}},
  };
  for (const auto& run : cases) {
    SCOPED_TRACE(run.name);
    fake::ResetMachine();
    SetUp();
    InstallerProgram().runsFor = run.runsFor;
    if (run.relaunches) InstallerProgram().children = {{std::u16string(Relaunched), std::nullopt}};
    const std::uint64_t before = Machine().tickCount;
    ExpectFailure(Installer, "Installer did not finish; it was terminated");
    // The limit counts from the start; the polls around the termination
    // read the clock a few more times.
    EXPECT_GE(Machine().tickCount - before, 1200000u);
    EXPECT_LE(Machine().tickCount - before, 1200000u + 5000u);
    EXPECT_THAT(Running(), IsEmpty());
    EXPECT_EQ(ExitCodes(), run.exitCodes);
  }
}

// A laptop that sleeps for hours while its installer runs wakes to an
// installer with its own time still left: the limit counts awake time.
TEST_F(UpdateProcessTest, TheLimitCountsOnlyTimeTheMachineWasAwake) {
  constexpr std::uint64_t Asleep = 3 * 60 * 60 * 1000;
  InstallerProgram().runsFor = Asleep + 5 * 60 * 1000;
  Machine().whileSleeping = [] {
    if (Machine().asleepMilliseconds == 0) fake::SleepMachine(Asleep);
  };
  StartUpdateProcess(Installer, u"/S /NATIVEUPDATE", true);
  EXPECT_THAT(Running(), IsEmpty());
  EXPECT_THAT(ExitCodes(), ElementsAre(0u));
}

TEST_F(UpdateProcessTest, RunsNoInstallerOutsideItsJob) {
  const struct {
    const char* name;
    os::Failure fake::FakeProcesses::*failure;
    std::size_t launches;
    // A process that was started ended with the failure's code while
    // suspended, before it could start anything.
    std::vector<std::uint32_t> exitCodes;
  } cases[] = {
      {"no job", &fake::FakeProcesses::createJobFailure, 0, {}},
      {"not assigned", &fake::FakeProcesses::assignFailure, 1, {os::ErrorInvalidParameter}},
  };
  for (const auto& refusal : cases) {
    SCOPED_TRACE(refusal.name);
    fake::ResetMachine();
    SetUp();
    InstallerProgram().children = {{std::u16string(Relaunched), std::nullopt}};
    Machine().processes.*refusal.failure = os::ErrorInvalidParameter;
    ExpectFailure(Installer, "Start authenticated update (87)");
    EXPECT_EQ(Machine().processes.launches.size(), refusal.launches);
    EXPECT_THAT(Running(), IsEmpty());
    EXPECT_EQ(ExitCodes(), refusal.exitCodes);
  }
}

TEST_F(UpdateProcessTest, ReportsAFailedTerminationWithItsCodeAndEndsTheJobAsItCloses) {
  InstallerProgram() = {0, 0, {{std::u16string(Relaunched), std::nullopt}}};
  Machine().processes.terminateJobFailure = os::ErrorAccessDenied;
  ExpectFailure(Installer, "Installer did not finish; it could not be terminated (5)");
  EXPECT_THAT(Running(), IsEmpty()) << "the job's handle was closed without ending its processes";
}

TEST_F(UpdateProcessTest, NamesTheFailedStepWithItsCode) {
  Machine().processes.exitCodeFailure = os::ErrorInvalidHandle;
  ExpectFailure(Installer, "Read installer result (6)");
  const struct {
    std::u16string_view path;
    const char* message;
  } cases[] = {
      {u"C:\\ProgramData\\OstrelNativeUpdater\\missing-setup.exe", "Start authenticated update (2)"},
      // The working directory is checked before the image is looked for.
      {u"C:\\ProgramData\\missing\\setup.exe", "Start authenticated update (267)"},
  };
  for (const auto& start : cases) ExpectFailure(start.path, start.message);
}

}  // namespace
}  // namespace ostrel
