#include "os/job_object.h"

#include <algorithm>

#include "fake_os/fake_machine.h"

namespace ostrel::os {
namespace {

fake::FakeProcesses& Processes() { return fake::Machine().processes; }

// The job a handle is open to, or nullptr.
fake::FakeJob* JobOf(const Handle& handle, std::uint32_t& id) {
  auto found = Processes().jobHandles.find(handle.value());
  if (found == Processes().jobHandles.end()) return nullptr;
  id = found->second;
  return &Processes().jobs.at(id);
}

void EndEveryProcess(std::uint32_t job, std::uint32_t exitCode) {
  for (std::uint32_t process : Processes().ActiveIn(job)) Processes().End(process, exitCode);
}

// Closing the last handle to a job ends its processes when the job was told
// to; the job itself lasts as long as they do, which nothing can observe.
void CloseJobHandle(std::uintptr_t handle) {
  const std::uint32_t job = Processes().jobHandles.at(handle);
  Processes().jobHandles.erase(handle);
  const bool lastHandle = std::none_of(Processes().jobHandles.begin(), Processes().jobHandles.end(),
                                       [job](const auto& open) { return open.second == job; });
  if (lastHandle && (Processes().jobs.at(job).limitFlags & JobObjectLimitKillOnJobClose)) EndEveryProcess(job, 0);
}

}  // namespace

Failure CreateJobObject(Handle& job) {
  if (Processes().createJobFailure) return Processes().createJobFailure;
  const std::uint32_t id = Processes().nextJobId++;
  Processes().jobs[id] = fake::FakeJob();
  std::uintptr_t handle = fake::Machine().handles.Open();
  fake::Machine().handles.open[handle] = [handle] { CloseJobHandle(handle); };
  Processes().jobHandles[handle] = id;
  job = Handle(handle);
  return std::nullopt;
}

Failure SetInformationJobObject(const Handle& job, std::uint32_t limitFlags) {
  std::uint32_t id = 0;
  fake::FakeJob* opened = JobOf(job, id);
  if (opened == nullptr) return ErrorInvalidHandle;
  opened->limitFlags = limitFlags;
  return std::nullopt;
}

Failure AssignProcessToJobObject(const Handle& job, const Handle& process) {
  if (Processes().assignFailure) return Processes().assignFailure;
  std::uint32_t id = 0;
  auto opened = Processes().openHandles.find(process.value());
  if (JobOf(job, id) == nullptr || opened == Processes().openHandles.end() || opened->second.thread) {
    return ErrorInvalidHandle;
  }
  fake::FakeProcess* assigned = Processes().FindRunning(opened->second.processId);
  // Windows refuses a process that has ended.
  if (assigned == nullptr) return ErrorAccessDenied;
  assigned->job = id;
  return std::nullopt;
}

Failure QueryInformationJobObject(const Handle& job, std::uint32_t& activeProcesses) {
  std::uint32_t id = 0;
  if (JobOf(job, id) == nullptr) return ErrorInvalidHandle;
  activeProcesses = static_cast<std::uint32_t>(Processes().ActiveIn(id).size());
  return std::nullopt;
}

Failure TerminateJobObject(const Handle& job, std::uint32_t exitCode) {
  if (Processes().terminateJobFailure) return Processes().terminateJobFailure;
  std::uint32_t id = 0;
  if (JobOf(job, id) == nullptr) return ErrorInvalidHandle;
  EndEveryProcess(id, exitCode);
  return std::nullopt;
}

}  // namespace ostrel::os
