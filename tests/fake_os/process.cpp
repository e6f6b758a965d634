#include "os/process.h"

#include <algorithm>
#include <string>
#include <utility>

#include "fake_os/fake_machine.h"
#include "os/access_rights.h"
#include "os/file.h"
#include "os/file_system.h"

namespace ostrel::os {
namespace {

// The id of the idle process, which no caller can open.
constexpr std::uint32_t IdleProcessId = 0;

// What the handles CreateProcess returns grant: PROCESS_ALL_ACCESS, which
// has the value of THREAD_ALL_ACCESS.
constexpr std::uint32_t AllAccess = 0x1FFFFF;
// PROCESS_TERMINATE and THREAD_SUSPEND_RESUME.
constexpr std::uint32_t ThreadSuspendResume = 0x2;

fake::FakeProcesses& Processes() { return fake::Machine().processes; }

// A handle that records its kind in the machine when it is closed.
Handle OpenProcessHandle(fake::FakeProcessHandle opened) {
  std::uintptr_t handle = fake::Machine().handles.Open();
  fake::Machine().handles.open[handle] = [handle, kind = opened.thread ? "thread" : "process"] {
    Processes().openHandles.erase(handle);
    Processes().closed.emplace_back(kind);
  };
  Processes().openHandles[handle] = opened;
  return Handle(handle);
}

fake::FakeProcess* FindIn(std::vector<fake::FakeProcess>& processes, std::uint32_t processId) {
  auto found = std::find_if(processes.begin(), processes.end(),
                            [processId](const fake::FakeProcess& process) { return process.id == processId; });
  return found == processes.end() ? nullptr : &*found;
}

fake::FakeProcess& FindProcess(std::uint32_t processId) {
  fake::FakeProcess* running = Processes().FindRunning(processId);
  return running != nullptr ? *running : *FindIn(Processes().ended, processId);
}

bool HasEnded(std::uint32_t processId) { return FindIn(Processes().ended, processId) != nullptr; }

// The open process or thread handle with this value, or nullptr.
const fake::FakeProcessHandle* Opened(const Handle& handle) {
  auto found = Processes().openHandles.find(handle.value());
  return found == Processes().openHandles.end() ? nullptr : &found->second;
}

// The process a handle lets the caller ask about: a process handle opened
// with at least the limited query right.
Failure QueriedProcess(const Handle& handle, const fake::FakeProcess*& process) {
  const fake::FakeProcessHandle* opened = Opened(handle);
  if (opened == nullptr || opened->thread) return ErrorInvalidHandle;
  if (!(opened->access & ProcessQueryLimitedInformation)) return ErrorAccessDenied;
  process = &FindProcess(opened->processId);
  return std::nullopt;
}

}  // namespace

Failure CreateProcess(std::u16string_view applicationName, std::u16string_view commandLine, bool inheritHandles,
                      std::uint32_t creationFlags, std::optional<std::u16string_view> environment,
                      std::u16string_view currentDirectory, const StartupInfo& startupInfo,
                      ProcessInformation& processInformation) {
  Processes().launches.push_back({std::u16string(applicationName), std::u16string(commandLine), inheritHandles,
                                  creationFlags, environment ? std::optional<std::u16string>(*environment) : std::nullopt,
                                  std::u16string(currentDirectory), startupInfo});
  if (const Failure failure = Processes().createProcessFailure) return failure;
  // The working directory is checked before the image is looked for.
  const fake::FakeFile* directory = fake::Machine().fileSystem.Find(currentDirectory);
  if (directory == nullptr || !(directory->attributes & FileAttributeDirectory)) return ErrorDirectory;
  fake::FakeFileSystem::Lookup imageFile = fake::Machine().fileSystem.Look(applicationName);
  if (imageFile.file == nullptr) return imageFile.missing;
  constexpr std::uint32_t shareAll = FileShareRead | FileShareWrite | FileShareDelete;
  fake::FakeLaunch& launch = Processes().launches.back();
  launch.imageHeldAgainstWriters = !fake::Machine().fileSystem.SharingAllows(*imageFile.file, GenericWrite, shareAll);
  launch.imageHeldAgainstDeleters = !fake::Machine().fileSystem.SharingAllows(*imageFile.file, Delete, shareAll);

  auto scripted = Processes().programs.find(std::u16string(applicationName));
  fake::FakeProgram program = scripted == Processes().programs.end() ? fake::FakeProgram() : scripted->second;
  // A process started by a process of a job belongs to that job; the caller
  // is in none.
  const std::uint32_t processId = Processes().Add(applicationName, 0);
  if (creationFlags & CreateSuspended) {
    Processes().FindRunning(processId)->suspended = program;
  } else {
    Processes().Run(processId, program, fake::Machine().tickCount);
  }

  processInformation.process = OpenProcessHandle({processId, AllAccess, false});
  processInformation.thread = OpenProcessHandle({processId, AllAccess, true});
  processInformation.processId = processId;
  if (Processes().whenStarted) Processes().whenStarted(fake::FakeLaunch(Processes().launches.back()));
  return std::nullopt;
}

// A process's one thread ends with it, so a wait on either handle is the
// same wait.
Failure WaitForSingleObject(const Handle& object, std::uint32_t milliseconds, std::uint32_t& waitResult) {
  Processes().waitTimeouts.push_back(milliseconds);
  if (const Failure failure = Processes().waitFailure) return failure;
  const fake::FakeProcessHandle* opened = Opened(object);
  if (opened == nullptr) return ErrorInvalidHandle;
  if (!(opened->access & Synchronize)) return ErrorAccessDenied;
  waitResult = WaitObject0;
  if (HasEnded(opened->processId)) return std::nullopt;
  const std::optional<std::uint64_t> endsAt = FindProcess(opened->processId).endsAt;
  const std::uint64_t now = fake::Machine().tickCount;
  if (endsAt && *endsAt <= now + milliseconds) {
    fake::PassTime(*endsAt > now ? *endsAt - now : 0);
    return std::nullopt;
  }
  fake::PassTime(milliseconds);
  waitResult = WaitTimeout;
  return std::nullopt;
}

Failure GetExitCodeProcess(const Handle& handle, std::uint32_t& exitCode) {
  const fake::FakeProcess* process = nullptr;
  if (const Failure error = QueriedProcess(handle, process)) return error;
  if (Processes().exitCodeFailure) return Processes().exitCodeFailure;
  exitCode = HasEnded(process->id) ? process->exitCode : StillActive;
  return std::nullopt;
}

Failure OpenProcess(std::uint32_t desiredAccess, bool, std::uint32_t processId, Handle& process) {
  Processes().opened.push_back(processId);
  const fake::FakeProcess* running = Processes().FindRunning(processId);
  if (running == nullptr || processId == IdleProcessId) return ErrorInvalidParameter;
  if (running->openFailure) return running->openFailure;
  process = OpenProcessHandle({processId, desiredAccess, false});
  return std::nullopt;
}

Failure QueryFullProcessImageName(const Handle& handle, std::uint32_t, std::u16string& imageName) {
  const fake::FakeProcess* process = nullptr;
  if (const Failure error = QueriedProcess(handle, process)) return error;
  if (process->queryFailure) return process->queryFailure;
  imageName = process->imagePath;
  return std::nullopt;
}

Failure ResumeThread(const Handle& thread) {
  const fake::FakeProcessHandle* opened = Opened(thread);
  if (opened == nullptr || !opened->thread) return ErrorInvalidHandle;
  if (!(opened->access & ThreadSuspendResume)) return ErrorAccessDenied;
  fake::FakeProcess* process = Processes().FindRunning(opened->processId);
  if (process == nullptr || !process->suspended) return std::nullopt;
  const fake::FakeProgram program = *std::exchange(process->suspended, std::nullopt);
  Processes().Run(process->id, program, fake::Machine().tickCount);
  return std::nullopt;
}

Failure TerminateProcess(const Handle& handle, std::uint32_t exitCode) {
  const fake::FakeProcessHandle* opened = Opened(handle);
  if (opened == nullptr || opened->thread) return ErrorInvalidHandle;
  // Windows refuses to terminate a process that has ended.
  if (!(opened->access & ProcessTerminate) || HasEnded(opened->processId)) return ErrorAccessDenied;
  Processes().End(opened->processId, exitCode);
  return std::nullopt;
}

Failure GetEnvironmentStrings(std::u16string& block) {
  block = fake::Machine().environmentStrings;
  return std::nullopt;
}

Failure GetProcessTimes(const Handle& handle, std::uint64_t& creationTime) {
  const fake::FakeProcess* process = nullptr;
  if (const Failure error = QueriedProcess(handle, process)) return error;
  creationTime = process->createdAt;
  return std::nullopt;
}

Failure GetCurrentProcessTimes(std::uint64_t& creationTime) {
  creationTime = fake::Machine().processCreationTime;
  return std::nullopt;
}

std::uint32_t GetCurrentProcessId() { return fake::Machine().processId; }

}  // namespace ostrel::os
