#include "apply/installer_job.h"

#include <algorithm>
#include <stdexcept>

#include "foundation/failure.h"
#include "os/job_object.h"
#include "os/sleep.h"
#include "os/tick_count.h"

namespace ostrel {

std::uint64_t AwakeMilliseconds() { return os::QueryUnbiasedInterruptTime() / 10'000; }

namespace {

constexpr std::uint64_t InstallerTimeoutMilliseconds = 20 * 60 * 1000;
// Terminated processes end asynchronously; this long they may still count.
constexpr std::uint64_t TerminationMilliseconds = 30000;
// The job's count is polled: the job's completion port would report its
// last process's end at once, but Windows does not promise to deliver its
// messages, and a tenth of a second is nothing against an installation.
constexpr std::uint32_t PollMilliseconds = 100;

// Whether the job was empty by the deadline (an AwakeMilliseconds reading).
// The clock is read before the count, so a process counted after the
// deadline has run beyond it.
bool AwaitEmptyBy(const os::Handle& job, std::uint64_t deadline) {
  for (;;) {
    const std::uint64_t now = AwakeMilliseconds();
    std::uint32_t active = 0;
    if (const os::Failure failure = os::QueryInformationJobObject(job, active)) {
      RaiseLastError("Read installer result", *failure);
    }
    if (active == 0) return true;
    if (now >= deadline) return false;
    os::Sleep(static_cast<std::uint32_t>(std::min<std::uint64_t>(PollMilliseconds, deadline - now)));
  }
}

}  // namespace

os::Handle CreateInstallerJob() {
  os::Handle job;
  if (const os::Failure failure = os::CreateJobObject(job)) RaiseLastError("Start authenticated update", *failure);
  // Only the worker holds the job's handle, so when the worker dies for any
  // reason every installer process dies with it. The transaction lock dies
  // with the worker too, and without this an installer would run on
  // unguarded, where the next hand-off may start it a second time beside
  // itself: an interrupted installation is the lesser harm.
  if (const os::Failure failure = os::SetInformationJobObject(job, os::JobObjectLimitKillOnJobClose)) {
    RaiseLastError("Start authenticated update", *failure);
  }
  return job;
}

void StartInJob(const os::Handle& job, const os::ProcessInformation& suspended) {
  if (const os::Failure failure = os::AssignProcessToJobObject(job, suspended.process)) {
    // It has not run a single instruction; a failure to end it leaves it so.
    (void)os::TerminateProcess(suspended.process, *failure);
    RaiseLastError("Start authenticated update", *failure);
  }
  // A failure here leaves the process suspended in the job, which ends it
  // when the caller closes the job.
  if (const os::Failure failure = os::ResumeThread(suspended.thread)) {
    RaiseLastError("Start authenticated update", *failure);
  }
}

void AwaitEmptyJob(const os::Handle& job, std::uint64_t startedAt) {
  if (AwaitEmptyBy(job, startedAt + InstallerTimeoutMilliseconds)) return;
  // The exit code the terminated processes report: the wait ran out.
  if (const os::Failure failure = os::TerminateJobObject(job, os::WaitTimeout)) {
    RaiseLastError("Installer did not finish; it could not be terminated", *failure);
  }
  Require(AwaitEmptyBy(job, AwakeMilliseconds() + TerminationMilliseconds),
          "Installer did not finish; it did not end when terminated");
  throw std::runtime_error("Installer did not finish; it was terminated");
}

}  // namespace ostrel
