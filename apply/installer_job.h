// The job object a browser installer runs in. An installer may start other
// processes (a copy of itself that does the work, helpers) and end before
// they do; the job holds every one of them, so the worker waits for the
// installation and not only for the process it started, and can end all of
// them together.
#pragma once

#include <cstdint>

#include "os/handle.h"
#include "os/process.h"

namespace ostrel {

// Milliseconds the machine has been awake (QueryUnbiasedInterruptTime): the
// clock of the installer's limit, so a laptop that sleeps through an
// installation does not find its installer overdue when it wakes.
std::uint64_t AwakeMilliseconds();

// A new job without a name, whose handle is not inherited, set to end every
// process in it when that handle closes. Raises std::runtime_error "Start
// authenticated update" with the code.
os::Handle CreateInstallerJob();

// Assigns the process, created suspended, to the job and then resumes its
// thread, so it runs no instruction outside the job and every process it
// starts joins the job. A process that cannot be assigned is terminated
// before it has run. Raises std::runtime_error "Start authenticated update"
// with the code of the step that failed.
void StartInJob(const os::Handle& job, const os::ProcessInformation& suspended);

// Waits until no process of the job is left, polling, for at most 20
// minutes of awake time from startedAt (an AwakeMilliseconds reading). At the limit it
// terminates the job's processes and waits for them to have ended before it
// raises std::runtime_error: "Installer did not finish; it was terminated";
// "Installer did not finish; it could not be terminated" with the code when
// the termination fails; "Installer did not finish; it did not end when
// terminated" when a process is still counted 30 seconds later. Raises
// "Read installer result" with the code when the job cannot be asked.
void AwaitEmptyJob(const os::Handle& job, std::uint64_t startedAt);

}  // namespace ostrel
