#include "apply/update_process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "fake_os/fake_machine.h"
#include "os/process.h"

namespace ostrel {
namespace {

using fake::Machine;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr std::u16string_view Installer = u"C:\\ProgramData\\OstrelNativeUpdater\\ostrel-setup.exe";

void ExpectFailure(bool wait, const std::string& message) {
  try {
    StartUpdateProcess(Installer, u"/S /NATIVEUPDATE", wait);
    ADD_FAILURE() << "no failure, expected " << message;
  } catch (const std::runtime_error& failure) {
    EXPECT_EQ(failure.what(), message);
  }
  EXPECT_THAT(Machine().handles.open, IsEmpty()) << "a handle was left open";
}

TEST(UpdateProcessTest, QuotesThePathAndRunsInItsParentDirectory) {
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

TEST(UpdateProcessTest, StartsHiddenWithoutAWindowAndWithoutInheritingHandles) {
  StartUpdateProcess(Installer, u"/S /NATIVEUPDATE", true);
  const fake::FakeLaunch& started = Machine().processes.launches.at(0);
  EXPECT_FALSE(started.inheritHandles);
  EXPECT_EQ(started.creationFlags, os::CreateNoWindow);
  EXPECT_EQ(started.startupInfo.flags, os::StartfUseShowWindow);
  EXPECT_EQ(started.startupInfo.showWindow, os::SwHide);
}

TEST(UpdateProcessTest, WaitsTwentyMinutesAndAcceptsExitCodeZero) {
  StartUpdateProcess(Installer, u"/S /NATIVEUPDATE", true);
  EXPECT_THAT(Machine().processes.waitTimeouts, ElementsAre(1200000u));
  EXPECT_THAT(Machine().processes.closed, testing::UnorderedElementsAre("process", "thread"));
}

TEST(UpdateProcessTest, WithoutWaitingNeitherWaitsNorReadsTheExitCode) {
  Machine().processes.exitCode = 1;
  Machine().processes.exitCodeFailure = 6;
  StartUpdateProcess(Installer, u"--apply 12", false);
  EXPECT_THAT(Machine().processes.waitTimeouts, IsEmpty());
  EXPECT_THAT(Machine().handles.open, IsEmpty());
}

TEST(UpdateProcessTest, RefusesEveryExitCodeButZero) {
  for (std::uint32_t exitCode : {1u, 3u, 1602u, 0xC0000005u}) {
    Machine().processes.exitCode = exitCode;
    ExpectFailure(true, "Native installer reported a failure");
  }
}

TEST(UpdateProcessTest, LeavesAnInstallerThatDoesNotFinishRunning) {
  for (std::uint32_t waitResult : {os::WaitTimeout, os::WaitFailed}) {
    Machine().processes.waitResult = waitResult;
    ExpectFailure(true, "Installer did not finish; it was not terminated");
  }
}

TEST(UpdateProcessTest, NamesTheFailedStepWithItsCode) {
  Machine().processes.exitCodeFailure = 6;
  ExpectFailure(true, "Read installer result (6)");
  Machine().processes.createFailure = 2;
  ExpectFailure(false, "Start authenticated update (2)");
}

}  // namespace
}  // namespace ostrel
