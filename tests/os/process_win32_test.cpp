// The process calls of the os/ boundary under Wine, with real child
// processes (feed/test_child.cpp).
#include <gtest/gtest.h>

#include <string>

#include "feed/test_child.h"
#include "os/process.h"
#include "os/process_snapshot.h"
#include "os/wait_result.h"

namespace ostrel::os {
namespace {

ProcessInformation StartChild(std::u16string_view arguments) {
  std::u16string child = test::TestChildPath();
  std::u16string commandLine = u"\"" + child + u"\" " + std::u16string(arguments);
  ProcessInformation started;
  EXPECT_EQ(CreateProcess(child, commandLine, false, CreateNoWindow, std::nullopt, u"C:\\",
                          {StartfUseShowWindow, SwHide}, started),
            std::nullopt);
  return started;
}

TEST(ProcessWin32Test, WaitsForAHiddenChildAndReadsItsExitCode) {
  ProcessInformation child = StartChild(u"exit 3");
  ASSERT_EQ(WaitResult(child.process, 30000), WaitObject0);
  std::uint32_t exitCode = 0;
  ASSERT_EQ(GetExitCodeProcess(child.process, exitCode), std::nullopt);
  EXPECT_EQ(exitCode, 3u);
}

TEST(ProcessWin32Test, RefusesAMissingApplicationWithoutSearchingForIt) {
  ProcessInformation started;
  EXPECT_EQ(CreateProcess(u"C:\\missing\\cmd.exe", u"\"C:\\missing\\cmd.exe\" /c exit", false, CreateNoWindow, std::nullopt, u"C:\\",
                          {StartfUseShowWindow, SwHide}, started),
            3u);  // the path was not found
}

TEST(ProcessWin32Test, SnapshotListsARunningChildWhoseFullImagePathCanBeRead) {
  ProcessInformation child = StartChild(u"sleep 1500");
  EXPECT_EQ(WaitResult(child.process, 0), WaitTimeout);

  Handle snapshot;
  ASSERT_EQ(CreateToolhelp32Snapshot(Th32csSnapProcess, 0, snapshot), std::nullopt);
  ProcessEntry entry;
  ASSERT_EQ(Process32First(snapshot, entry), std::nullopt);
  Failure next;
  while (entry.processId != child.processId && !next) next = Process32Next(snapshot, entry);
  ASSERT_EQ(next, std::nullopt) << "the child is not in the snapshot";
  EXPECT_EQ(entry.exeFile, u"ostrel_test_child.exe");

  Handle process;
  ASSERT_EQ(OpenProcess(ProcessQueryLimitedInformation, false, child.processId, process), std::nullopt);
  std::u16string imageName;
  ASSERT_EQ(QueryFullProcessImageName(process, 0, imageName), std::nullopt);
  EXPECT_EQ(imageName, test::TestChildPath());

  while (!Process32Next(snapshot, entry)) {
  }
  EXPECT_EQ(Process32Next(snapshot, entry), ErrorNoMoreFiles);
  EXPECT_EQ(WaitResult(child.process, 30000), WaitObject0);
}

}  // namespace
}  // namespace ostrel::os
