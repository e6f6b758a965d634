#include "fake_os/fake_processes.h"

#include <algorithm>

#include "fake_os/fake_machine.h"

namespace ostrel::fake {

FakeProcess* FakeProcesses::FindRunning(std::uint32_t processId) {
  auto found = std::find_if(running.begin(), running.end(),
                            [processId](const FakeProcess& process) { return process.id == processId; });
  return found == running.end() ? nullptr : &*found;
}

std::uint32_t FakeProcesses::Add(std::u16string_view imagePath, std::uint32_t job) {
  FakeProcess process{nextProcessId, std::u16string(imagePath.substr(imagePath.find_last_of(u"\\/") + 1)),
                      std::u16string(imagePath)};
  process.job = job;
  process.createdAt = SystemFileTime();
  nextProcessId += 4;
  running.push_back(process);
  return process.id;
}

void FakeProcesses::Run(std::uint32_t processId, const FakeProgram& program, std::uint64_t now) {
  FakeProcess& process = *FindRunning(processId);
  if (program.runsFor) process.endsAt = now + *program.runsFor;
  process.exitCode = program.exitCode;
  const std::uint32_t job = process.job;
  for (const FakeChildProcess& child : program.children) {
    const std::uint32_t started = Add(child.imagePath, job);
    if (child.runsFor) FindRunning(started)->endsAt = now + *child.runsFor;
  }
  EndDue(now);  // a program that runs for no time has ended already
}

void FakeProcesses::End(std::uint32_t processId, std::uint32_t exitCode) {
  FakeProcess* process = FindRunning(processId);
  process->exitCode = exitCode;
  process->suspended.reset();
  ended.push_back(*process);
  running.erase(running.begin() + (process - running.data()));
}

void FakeProcesses::EndDue(std::uint64_t now) {
  auto due = std::stable_partition(running.begin(), running.end(), [now](const FakeProcess& process) {
    return !process.endsAt || *process.endsAt > now;
  });
  ended.insert(ended.end(), due, running.end());
  running.erase(due, running.end());
}

std::vector<std::uint32_t> FakeProcesses::ActiveIn(std::uint32_t job) const {
  std::vector<std::uint32_t> active;
  for (const FakeProcess& process : running) {
    if (process.job == job) active.push_back(process.id);
  }
  return active;
}

}  // namespace ostrel::fake
