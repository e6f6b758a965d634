#include "apply/update_process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fake_os/fake_machine.h"
#include "os/error_code.h"
#include "os/process.h"
#include "runtime_error_matcher.h"

namespace ostrel {
namespace {

using fake::Machine;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr std::u16string_view Installer = u"C:\\ProgramData\\OstrelNativeUpdater\\ostrel-setup.exe";

class UpdateProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    Machine().fileSystem.AddDirectory(u"C:\\ProgramData\\OstrelNativeUpdater");
    Machine().fileSystem.AddFile(Installer);
  }

  static fake::FakeProgram& InstallerProgram() { return Machine().processes.programs[std::u16string(Installer)]; }

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

TEST_F(UpdateProcessTest, StartsHiddenWithoutAWindowAndWithoutInheritingHandles) {
  StartUpdateProcess(Installer, u"/S /NATIVEUPDATE", true);
  const fake::FakeLaunch& started = Machine().processes.launches.at(0);
  EXPECT_FALSE(started.inheritHandles);
  EXPECT_EQ(started.creationFlags, os::CreateNoWindow);
  EXPECT_EQ(started.startupInfo.flags, os::StartfUseShowWindow);
  EXPECT_EQ(started.startupInfo.showWindow, os::SwHide);
}

TEST_F(UpdateProcessTest, WaitsTwentyMinutesAndAcceptsExitCodeZero) {
  InstallerProgram().runsFor = 1200000;
  StartUpdateProcess(Installer, u"/S /NATIVEUPDATE", true);
  EXPECT_THAT(Machine().processes.waitTimeouts, ElementsAre(1200000u));
  EXPECT_THAT(Machine().processes.closed, testing::UnorderedElementsAre("process", "thread"));
}

TEST_F(UpdateProcessTest, WithoutWaitingNeitherWaitsNorReadsTheExitCode) {
  InstallerProgram().exitCode = 1;
  Machine().processes.exitCodeFailure = os::ErrorInvalidHandle;
  StartUpdateProcess(Installer, u"--apply 12", false);
  EXPECT_THAT(Machine().processes.waitTimeouts, IsEmpty());
  EXPECT_THAT(Machine().handles.open, IsEmpty());
}

TEST_F(UpdateProcessTest, RefusesEveryExitCodeButZero) {
  for (std::uint32_t exitCode : {1u, 3u, 1602u, 0xC0000005u}) {
    InstallerProgram().exitCode = exitCode;
    ExpectFailure(Installer, "Native installer reported a failure");
  }
}

TEST_F(UpdateProcessTest, LeavesAnInstallerThatDoesNotFinishRunning) {
  const std::optional<std::uint64_t> runTimes[] = {1200001, std::nullopt};
  for (std::optional<std::uint64_t> runsFor : runTimes) {
    InstallerProgram().runsFor = runsFor;
    ExpectFailure(Installer, "Installer did not finish; it was not terminated");
  }
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
