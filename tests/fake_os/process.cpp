#include "os/process.h"

#include <string>

#include "fake_os/fake_machine.h"

namespace ostrel::os {
namespace {

fake::FakeProcesses& Processes() { return fake::Machine().processes; }

// A handle to the process, or its thread when the id is 0, that records its
// kind in the machine when it is closed.
Handle OpenProcessHandle(std::uint32_t processId, const char* kind) {
  std::uintptr_t handle = fake::Machine().handles.Open();
  fake::Machine().handles.open[handle] = [handle, kind] {
    Processes().openHandles.erase(handle);
    Processes().closed.emplace_back(kind);
  };
  Processes().openHandles[handle] = processId;
  return Handle(handle);
}

const fake::FakeProcess* FindProcess(std::uint32_t processId) {
  for (const fake::FakeProcess& process : Processes().running) {
    if (process.id == processId) return &process;
  }
  return nullptr;
}

}  // namespace

ErrorCode CreateProcess(std::u16string_view applicationName, std::u16string_view commandLine, bool inheritHandles,
                        std::uint32_t creationFlags, std::u16string_view currentDirectory,
                        const StartupInfo& startupInfo, ProcessInformation& processInformation) {
  Processes().launches.push_back({std::u16string(applicationName), std::u16string(commandLine), inheritHandles,
                                  creationFlags, std::u16string(currentDirectory), startupInfo});
  if (Processes().createFailure) return Processes().createFailure;
  constexpr std::uint32_t LaunchedProcessId = 7000;
  processInformation.process = OpenProcessHandle(LaunchedProcessId, "process");
  processInformation.thread = OpenProcessHandle(0, "thread");
  processInformation.processId = LaunchedProcessId;
  return ErrorSuccess;
}

std::uint32_t WaitForSingleObject(const Handle&, std::uint32_t milliseconds) {
  Processes().waitTimeouts.push_back(milliseconds);
  return Processes().waitResult;
}

ErrorCode GetExitCodeProcess(const Handle&, std::uint32_t& exitCode) {
  if (Processes().exitCodeFailure) return Processes().exitCodeFailure;
  exitCode = Processes().exitCode;
  return ErrorSuccess;
}

ErrorCode OpenProcess(std::uint32_t, bool, std::uint32_t processId, Handle& process) {
  Processes().opened.push_back(processId);
  const fake::FakeProcess* running = FindProcess(processId);
  if (running == nullptr) return 87;  // invalid parameter: no such process
  if (!running->openable) return 5;   // access denied
  process = OpenProcessHandle(processId, "process");
  return ErrorSuccess;
}

ErrorCode QueryFullProcessImageName(const Handle& process, std::uint32_t, std::u16string& imageName) {
  const fake::FakeProcess* running = FindProcess(Processes().openHandles.at(process.value()));
  if (!running->queryable) return 31;  // a device attached to the system is not functioning
  imageName = running->imagePath;
  return ErrorSuccess;
}

}  // namespace ostrel::os
