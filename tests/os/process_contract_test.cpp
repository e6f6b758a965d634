// Starting processes, waiting for them and asking about them, against the
// fake machine and under Wine against the Windows API.
#include "os/process.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "os/access_rights.h"
#include "os/child_program.h"
#include "os/process_snapshot.h"
#include "os/scratch_directory.h"

namespace ostrel::os {
namespace {


// The snapshot's entry for the process, when the snapshot lists it.
std::optional<ProcessEntry> ListedEntry(std::uint32_t processId) {
  Handle snapshot;
  EXPECT_EQ(CreateToolhelp32Snapshot(Th32csSnapProcess, 0, snapshot), ErrorSuccess);
  ProcessEntry entry;
  ErrorCode read = Process32First(snapshot, entry);
  for (; read == ErrorSuccess; read = Process32Next(snapshot, entry)) {
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
  ASSERT_EQ(StartChild(u"exit 3", child), ErrorSuccess);
  ASSERT_EQ(WaitForSingleObject(child.process, 30000), WaitObject0);
  EXPECT_EQ(WaitForSingleObject(child.process, 0), WaitObject0);
  EXPECT_EQ(WaitForSingleObject(child.thread, 0), WaitObject0);
  std::uint32_t exitCode = 0;
  ASSERT_EQ(GetExitCodeProcess(child.process, exitCode), ErrorSuccess);
  EXPECT_EQ(exitCode, 3u);
  EXPECT_FALSE(ListedEntry(child.processId)) << "an ended process is still listed";
}

TEST(ProcessContractTest, ListsARunningProcessWithItsImageUntilItEnds) {
  ProcessInformation child;
  ASSERT_EQ(StartChild(u"sleep 2000", child), ErrorSuccess);
  std::uint32_t exitCode = 0;
  ASSERT_EQ(GetExitCodeProcess(child.process, exitCode), ErrorSuccess);
  EXPECT_EQ(exitCode, StillActive);
  EXPECT_EQ(WaitForSingleObject(child.process, 0), WaitTimeout);
  std::optional<ProcessEntry> entry = ListedEntry(child.processId);
  ASSERT_TRUE(entry) << "the running child is not listed";
  EXPECT_EQ(entry->exeFile, u"ostrel_test_child.exe");
  std::u16string imageName;
  ASSERT_EQ(QueryFullProcessImageName(child.process, 0, imageName), ErrorSuccess);
  EXPECT_EQ(imageName, ChildPath());

  ASSERT_EQ(WaitForSingleObject(child.process, 30000), WaitObject0);
  ASSERT_EQ(GetExitCodeProcess(child.process, exitCode), ErrorSuccess);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_FALSE(ListedEntry(child.processId)) << "an ended process is still listed";
}

TEST(ProcessContractTest, OpensAProcessByIdForNoMoreThanTheAccessAskedFor) {
  ProcessInformation child;
  ASSERT_EQ(StartChild(u"sleep 2000", child), ErrorSuccess);
  Handle waitable;
  ASSERT_EQ(OpenProcess(Synchronize, false, child.processId, waitable), ErrorSuccess);
  Handle queryable;
  ASSERT_EQ(OpenProcess(ProcessQueryLimitedInformation, false, child.processId, queryable), ErrorSuccess);
  std::uint32_t exitCode = 0;
  std::u16string imageName;
  EXPECT_EQ(GetExitCodeProcess(waitable, exitCode), ErrorAccessDenied);
  EXPECT_EQ(QueryFullProcessImageName(waitable, 0, imageName), ErrorAccessDenied);
  EXPECT_EQ(WaitForSingleObject(queryable, 0), WaitFailed);
  ASSERT_EQ(QueryFullProcessImageName(queryable, 0, imageName), ErrorSuccess);
  EXPECT_EQ(imageName, ChildPath());

  EXPECT_EQ(WaitForSingleObject(waitable, 0), WaitTimeout);
  ASSERT_EQ(WaitForSingleObject(waitable, 30000), WaitObject0);
  ASSERT_EQ(GetExitCodeProcess(queryable, exitCode), ErrorSuccess);
  EXPECT_EQ(exitCode, 0u);
}

TEST(ProcessContractTest, AnswersAHandleThatIsNoProcessHandleAsInvalid) {
  ProcessInformation child;
  ASSERT_EQ(StartChild(u"exit 0", child), ErrorSuccess);
  Handle none;
  std::uint32_t exitCode = 0;
  std::u16string imageName;
  EXPECT_EQ(WaitForSingleObject(none, 0), WaitFailed);
  for (Handle* handle : {&none, &child.thread}) {
    EXPECT_EQ(GetExitCodeProcess(*handle, exitCode), ErrorInvalidHandle);
    EXPECT_EQ(QueryFullProcessImageName(*handle, 0, imageName), ErrorInvalidHandle);
  }
}

TEST(ProcessContractTest, RefusesToOpenTheIdleProcess) {
  Handle process;
  EXPECT_EQ(OpenProcess(ProcessQueryLimitedInformation, false, 0, process), ErrorInvalidParameter);
}

}  // namespace
}  // namespace ostrel::os
