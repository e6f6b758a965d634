#include "inspect/browser_activity.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "fake_os/fake_machine.h"
#include "os/process.h"
#include "os/wait_result.h"

namespace ostrel {
namespace {

using fake::Machine;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr std::u16string_view Browser = u"C:\\Program Files\\Ostrel\\Application\\chrome.exe";

void StartProcess(std::uint32_t id, std::u16string_view exeFile, std::u16string_view imagePath) {
  Machine().processes.running.push_back({id, std::u16string(exeFile), std::u16string(imagePath)});
}

class BrowserActivityTest : public testing::Test {
 protected:
  void SetUp() override { StartProcess(100, u"explorer.exe", u"C:\\Windows\\explorer.exe"); }
  void TearDown() override { EXPECT_THAT(Machine().handles.open, IsEmpty()) << "a handle was left open"; }
};

TEST_F(BrowserActivityTest, FindsTheBrowserWhateverTheCaseOfItsNames) {
  StartProcess(200, u"CHROME.EXE", u"C:\\PROGRAM FILES\\OSTREL\\APPLICATION\\CHROME.EXE");
  EXPECT_TRUE(IsBrowserRunning(ListProcesses()));
}

TEST_F(BrowserActivityTest, IgnoresTheSameFileNameRunningFromElsewhere) {
  StartProcess(200, u"chrome.exe", u"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe");
  StartProcess(201, u"chrome.exe", u"C:\\Program Files\\Ostrel\\chrome.exe");
  EXPECT_FALSE(IsBrowserRunning(ListProcesses()));
  EXPECT_THAT(Machine().processes.opened, ElementsAre(200u, 201u));
}

TEST_F(BrowserActivityTest, OpensOnlyProcessesWhoseImageNameMatches) {
  // The entry's bare name decides; a process is never opened to find out.
  StartProcess(300, u"renamed.exe", std::u16string(Browser));
  EXPECT_FALSE(IsBrowserRunning(ListProcesses()));
  EXPECT_THAT(Machine().processes.opened, IsEmpty());
}

TEST_F(BrowserActivityTest, SkipsWhatCannotBeOpenedOrAskedAndGoesOn) {
  StartProcess(200, u"chrome.exe", std::u16string(Browser));
  Machine().processes.running.back().openFailure = os::ErrorAccessDenied;
  StartProcess(201, u"chrome.exe", std::u16string(Browser));
  Machine().processes.running.back().queryFailure = os::ErrorGenFailure;
  EXPECT_FALSE(IsBrowserRunning(ListProcesses()));
  StartProcess(202, u"chrome.exe", std::u16string(Browser));
  EXPECT_TRUE(IsBrowserRunning(ListProcesses()));
}

TEST_F(BrowserActivityTest, StopsAtTheFirstMatch) {
  StartProcess(200, u"chrome.exe", std::u16string(Browser));
  StartProcess(201, u"chrome.exe", std::u16string(Browser));
  EXPECT_TRUE(IsBrowserRunning(ListProcesses()));
  EXPECT_THAT(Machine().processes.opened, ElementsAre(200u));
}

TEST_F(BrowserActivityTest, SeesABrowserItStartedOnlyWhileItRuns) {
  Machine().fileSystem.AddDirectory(u"C:\\Program Files\\Ostrel");
  Machine().fileSystem.AddDirectory(u"C:\\Program Files\\Ostrel\\Application");
  Machine().fileSystem.AddFile(Browser);
  Machine().processes.programs[std::u16string(Browser)].runsFor = 2500;
  os::ProcessInformation browser;
  ASSERT_EQ(os::CreateProcess(Browser, u"chrome.exe", false, 0, std::nullopt, u"C:\\", {}, browser), std::nullopt);
  EXPECT_TRUE(IsBrowserRunning(ListProcesses()));
  ASSERT_EQ(os::WaitResult(browser.process, 30000), os::WaitObject0);
  EXPECT_FALSE(IsBrowserRunning(ListProcesses()));
}

TEST_F(BrowserActivityTest, ComparesImagePathsInNormalForm) {
  StartProcess(200, u"Ostrel.exe", u"C:\\Program Files\\Ostrel\\Ostrel.exe");
  EXPECT_TRUE(IsImageRunning(ListProcesses(), u"C:/Program Files/Ostrel/Application/../Ostrel.exe"));
  EXPECT_TRUE(IsImageRunning(ListProcesses(), u"c:\\program files\\ostrel\\.\\ostrel.exe"));
  EXPECT_FALSE(IsImageRunning(ListProcesses(), u"\\\\?\\C:\\Program Files\\Ostrel\\Ostrel.exe"));
}

}  // namespace
}  // namespace ostrel
