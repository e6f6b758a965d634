// Job objects, against the fake machine and under Wine against the Windows
// API: the processes a member starts join the job, are counted until they
// end, and end with it.
#include <gtest/gtest.h>

#include <cstdint>

#include "os/access_rights.h"
#include "os/child_program.h"
#include "os/job_object.h"
#include "os/process.h"
#include "os/sleep.h"
#include "os/wait_result.h"

namespace ostrel::os {
namespace {

// A job with the limit flags and the child in it, started suspended with the
// command, assigned and resumed.
struct ChildInJob {
  ChildInJob(std::u16string_view command, std::uint32_t limitFlags) {
    EXPECT_EQ(CreateJobObject(job), std::nullopt);
    EXPECT_EQ(SetInformationJobObject(job, limitFlags), std::nullopt);
    EXPECT_EQ(StartChild(command, child, CreateSuspended), std::nullopt);
    EXPECT_EQ(AssignProcessToJobObject(job, child.process), std::nullopt);
    EXPECT_EQ(ResumeThread(child.thread), std::nullopt);
  }

  // The copy a "spawn" child started, once the child has ended: the child
  // exits with the copy's process id.
  Handle Copy() {
    EXPECT_EQ(WaitResult(child.process, 30000), WaitObject0);
    std::uint32_t copyId = 0;
    EXPECT_EQ(GetExitCodeProcess(child.process, copyId), std::nullopt);
    Handle copy;
    EXPECT_EQ(OpenProcess(Synchronize | ProcessQueryLimitedInformation, false, copyId, copy), std::nullopt);
    return copy;
  }

  std::uint32_t ActiveProcesses() const {
    std::uint32_t active = 0;
    EXPECT_EQ(QueryInformationJobObject(job, active), std::nullopt);
    return active;
  }

  // Whether the job's count fell to 0 within 30 seconds: Wine counts the
  // console host it starts for each member, which ends a moment after the
  // member's last process.
  bool Empties() const {
    for (int polls = 0; polls < 300; ++polls) {
      if (ActiveProcesses() == 0) return true;
      Sleep(100);
    }
    return false;
  }

  Handle job;
  ProcessInformation child;
};

TEST(JobObjectContractTest, CountsWhatAMemberStartedUntilItEnds) {
  ChildInJob started(u"spawn 2000", 0);
  const Handle copy = started.Copy();
  ASSERT_EQ(WaitResult(copy, 0), WaitTimeout);
  EXPECT_GE(started.ActiveProcesses(), 1u) << "the copy is not in the job";
  ASSERT_EQ(WaitResult(copy, 30000), WaitObject0);
  EXPECT_TRUE(started.Empties());
}

TEST(JobObjectContractTest, TerminationEndsEveryProcessWithTheCodeGiven) {
  ChildInJob started(u"spawn 60000", 0);
  const Handle copy = started.Copy();
  ASSERT_EQ(TerminateJobObject(started.job, 258), std::nullopt);
  ASSERT_EQ(WaitResult(copy, 30000), WaitObject0);
  std::uint32_t exitCode = 0;
  ASSERT_EQ(GetExitCodeProcess(copy, exitCode), std::nullopt);
  EXPECT_EQ(exitCode, 258u);
  EXPECT_TRUE(started.Empties());
}

TEST(JobObjectContractTest, ClosingTheJobEndsItsProcessesOnlyWhenItsLimitSaysSo) {
  const struct {
    const char* name;
    std::uint32_t limitFlags;
    // The copy's command, and how a wait on it ends once the job is closed.
    std::u16string_view command;
    std::uint32_t waitAfterClose;
    std::uint32_t afterClose;
  } cases[] = {
      // It ends long before its minute is over.
      {"kill on close", JobObjectLimitKillOnJobClose, u"spawn 60000", 30000, WaitObject0},
      {"no limit", 0, u"spawn 4000", 1000, WaitTimeout},
  };
  for (const auto& limit : cases) {
    ChildInJob started(limit.command, limit.limitFlags);
    const Handle copy = started.Copy();
    ASSERT_EQ(WaitResult(copy, 0), WaitTimeout) << limit.name;
    started.job = Handle();
    EXPECT_EQ(WaitResult(copy, limit.waitAfterClose), limit.afterClose) << limit.name;
    ASSERT_EQ(WaitResult(copy, 30000), WaitObject0) << limit.name;
  }
}

}  // namespace
}  // namespace ostrel::os
