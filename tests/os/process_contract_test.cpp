// Starting processes, waiting for them and asking about them, against the
// fake machine and under Wine against the Windows API.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "os/access_rights.h"
#include "os/child_program.h"
#include "os/process.h"
#include "os/process_snapshot.h"
#include "os/scratch_directory.h"
#include "os/tick_count.h"
#include "os/wait_result.h"

namespace ostrel::os {
namespace {


// The snapshot's entry for the process, when the snapshot lists it.
std::optional<ProcessEntry> ListedEntry(std::uint32_t processId) {
  Handle snapshot;
  EXPECT_EQ(CreateToolhelp32Snapshot(Th32csSnapProcess, 0, snapshot), std::nullopt);
  ProcessEntry entry;
  Failure read = Process32First(snapshot, entry);
  for (; !read; read = Process32Next(snapshot, entry)) {
    if (entry.processId == processId) return entry;
  }
  EXPECT_EQ(read, ErrorNoMoreFiles);
  return std::nullopt;
}

TEST(ProcessContractTest, RefusesToStartWithoutItsWorkingDirectoryOrItsImage) {
  const ScratchDirectory missing;
  const std::u16string child = ChildPath();
  const struct {
    const char* name;
    std::u16string image;
    std::u16string directory;
    ErrorCode error;
  } cases[] = {
      {"missing directory", child, missing.path(), ErrorDirectory},
      // The working directory is checked before the image is looked for.
      {"missing directory and image", missing.Child(u"setup.exe"), missing.path(), ErrorDirectory},
      {"file as directory", child, child, ErrorDirectory},
      {"missing image", missing.path() + u".exe", u"C:\\", ErrorFileNotFound},
      {"image in a missing directory", missing.Child(u"setup.exe"), u"C:\\", ErrorPathNotFound},
  };
  for (const auto& start : cases) {
    ProcessInformation started;
    EXPECT_EQ(CreateProcess(start.image, u"\"" + start.image + u"\"", false, CreateNoWindow, std::nullopt, start.directory,
                            {StartfUseShowWindow, SwHide}, started),
              start.error)
        << start.name;
    EXPECT_EQ(started.process.value(), 0u) << start.name;
  }
}

TEST(ProcessContractTest, AnswersEveryWaitOnAnEndedProcessWithItsEnd) {
  ProcessInformation child;
  ASSERT_EQ(StartChild(u"exit 3", child), std::nullopt);
  ASSERT_EQ(WaitResult(child.process, 30000), WaitObject0);
  EXPECT_EQ(WaitResult(child.process, 0), WaitObject0);
  EXPECT_EQ(WaitResult(child.thread, 0), WaitObject0);
  std::uint32_t exitCode = 0;
  ASSERT_EQ(GetExitCodeProcess(child.process, exitCode), std::nullopt);
  EXPECT_EQ(exitCode, 3u);
  EXPECT_FALSE(ListedEntry(child.processId)) << "an ended process is still listed";
}

TEST(ProcessContractTest, ListsARunningProcessWithItsImageUntilItEnds) {
  ProcessInformation child;
  ASSERT_EQ(StartChild(u"sleep 2000", child), std::nullopt);
  std::uint32_t exitCode = 0;
  ASSERT_EQ(GetExitCodeProcess(child.process, exitCode), std::nullopt);
  EXPECT_EQ(exitCode, StillActive);
  EXPECT_EQ(WaitResult(child.process, 0), WaitTimeout);
  std::optional<ProcessEntry> entry = ListedEntry(child.processId);
  ASSERT_TRUE(entry) << "the running child is not listed";
  EXPECT_EQ(entry->exeFile, u"ostrel_test_child.exe");
  std::u16string imageName;
  ASSERT_EQ(QueryFullProcessImageName(child.process, 0, imageName), std::nullopt);
  EXPECT_EQ(imageName, ChildPath());

  ASSERT_EQ(WaitResult(child.process, 30000), WaitObject0);
  ASSERT_EQ(GetExitCodeProcess(child.process, exitCode), std::nullopt);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_FALSE(ListedEntry(child.processId)) << "an ended process is still listed";
}

TEST(ProcessContractTest, OpensAProcessByIdForNoMoreThanTheAccessAskedFor) {
  ProcessInformation child;
  ASSERT_EQ(StartChild(u"sleep 2000", child), std::nullopt);
  Handle waitable;
  ASSERT_EQ(OpenProcess(Synchronize, false, child.processId, waitable), std::nullopt);
  Handle queryable;
  ASSERT_EQ(OpenProcess(ProcessQueryLimitedInformation, false, child.processId, queryable), std::nullopt);
  std::uint32_t exitCode = 0;
  std::u16string imageName;
  EXPECT_EQ(GetExitCodeProcess(waitable, exitCode), ErrorAccessDenied);
  EXPECT_EQ(QueryFullProcessImageName(waitable, 0, imageName), ErrorAccessDenied);
  std::uint32_t waited = 0;
  EXPECT_EQ(WaitForSingleObject(queryable, 0, waited), ErrorAccessDenied);
  ASSERT_EQ(QueryFullProcessImageName(queryable, 0, imageName), std::nullopt);
  EXPECT_EQ(imageName, ChildPath());

  EXPECT_EQ(WaitResult(waitable, 0), WaitTimeout);
  ASSERT_EQ(WaitResult(waitable, 30000), WaitObject0);
  ASSERT_EQ(GetExitCodeProcess(queryable, exitCode), std::nullopt);
  EXPECT_EQ(exitCode, 0u);
}

TEST(ProcessContractTest, RunsNothingOfASuspendedProcessUntilResumedAndTerminatesIt) {
  ProcessInformation child;
  ASSERT_EQ(StartChild(u"exit 3", child, CreateSuspended), std::nullopt);
  EXPECT_EQ(WaitResult(child.process, 500), WaitTimeout) << "it ran before it was resumed";
  ASSERT_EQ(TerminateProcess(child.process, 7), std::nullopt);
  ASSERT_EQ(WaitResult(child.process, 30000), WaitObject0);
  std::uint32_t exitCode = 0;
  ASSERT_EQ(GetExitCodeProcess(child.process, exitCode), std::nullopt);
  EXPECT_EQ(exitCode, 7u);

  ASSERT_EQ(StartChild(u"exit 3", child, CreateSuspended), std::nullopt);
  ASSERT_EQ(ResumeThread(child.thread), std::nullopt);
  ASSERT_EQ(WaitResult(child.process, 30000), WaitObject0);
  ASSERT_EQ(GetExitCodeProcess(child.process, exitCode), std::nullopt);
  EXPECT_EQ(exitCode, 3u);
}

TEST(ProcessContractTest, AnswersAHandleThatIsNoProcessHandleAsInvalid) {
  ProcessInformation child;
  ASSERT_EQ(StartChild(u"exit 0", child), std::nullopt);
  Handle none;
  std::uint32_t exitCode = 0;
  std::u16string imageName;
  std::uint32_t waited = 0;
  EXPECT_EQ(WaitForSingleObject(none, 0, waited), ErrorInvalidHandle);
  for (Handle* handle : {&none, &child.thread}) {
    EXPECT_EQ(GetExitCodeProcess(*handle, exitCode), ErrorInvalidHandle);
    EXPECT_EQ(QueryFullProcessImageName(*handle, 0, imageName), ErrorInvalidHandle);
  }
}

TEST(ProcessContractTest, DatesAChildAfterItsParentAndNearTheSystemTime) {
  constexpr std::uint64_t TenSeconds = 10 * 10'000'000ULL;
  std::uint64_t parentCreated = 0;
  ASSERT_EQ(GetCurrentProcessTimes(parentCreated), std::nullopt);
  ProcessInformation child;
  ASSERT_EQ(StartChild(u"sleep 2000", child), std::nullopt);
  std::uint64_t childCreated = 0;
  ASSERT_EQ(GetProcessTimes(child.process, childCreated), std::nullopt);
  const std::uint64_t now = GetSystemTimeAsFileTime();
  EXPECT_LT(parentCreated, childCreated);
  EXPECT_LE(childCreated, now);
  EXPECT_LT(now - childCreated, TenSeconds);

  Handle waitable;
  ASSERT_EQ(OpenProcess(Synchronize, false, child.processId, waitable), std::nullopt);
  EXPECT_EQ(GetProcessTimes(waitable, childCreated), ErrorAccessDenied);
}

TEST(ProcessContractTest, RefusesToOpenTheIdleProcess) {
  Handle process;
  EXPECT_EQ(OpenProcess(ProcessQueryLimitedInformation, false, 0, process), ErrorInvalidParameter);
}

}  // namespace
}  // namespace ostrel::os
