// Job objects: a group of processes that ends together, whose members are
// counted and whose children join it as they start.
#pragma once

#include <cstdint>

#include "os/error_code.h"
#include "os/handle.h"

namespace ostrel::os {

// JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE: every process of the job is ended
// when the last handle to the job is closed.
inline constexpr std::uint32_t JobObjectLimitKillOnJobClose = 0x2000;

// CreateJobObjectW without security attributes, so the handle is not
// inherited, and without a name, so no other process can open the job.
[[nodiscard]] Failure CreateJobObject(Handle& job);

// SetInformationJobObject(job, JobObjectExtendedLimitInformation) with a
// record whose only member set is BasicLimitInformation.LimitFlags.
[[nodiscard]] Failure SetInformationJobObject(const Handle& job, std::uint32_t limitFlags);

// AssignProcessToJobObject. Every process the assigned one starts from then
// on joins the job as well.
[[nodiscard]] Failure AssignProcessToJobObject(const Handle& job, const Handle& process);

// QueryInformationJobObject(job, JobObjectBasicAccountingInformation): the
// record's ActiveProcesses, the processes of the job that have not ended.
[[nodiscard]] Failure QueryInformationJobObject(const Handle& job, std::uint32_t& activeProcesses);

// TerminateJobObject: ends every process of the job with the exit code. The
// processes may still be counted for a moment after it returns.
[[nodiscard]] Failure TerminateJobObject(const Handle& job, std::uint32_t exitCode);

}  // namespace ostrel::os
