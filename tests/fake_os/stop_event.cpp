#include "os/stop_event.h"

#include <algorithm>
#include <optional>

#include "fake_os/fake_machine.h"

namespace ostrel::os {

using fake::Machine;

Failure CreateStopEvent() {
  Machine().stopEvent = false;
  return std::nullopt;
}

Failure SetStopEvent() {
  if (!Machine().stopEvent) return ErrorInvalidHandle;
  Machine().stopEvent = true;
  return std::nullopt;
}

bool IsStopEventSet() { return Machine().stopEvent.value_or(false); }

bool WaitForStopEvent(std::uint32_t milliseconds) {
  Machine().stopWaits.push_back(milliseconds);
  fake::PassTime(milliseconds);
  if (Machine().whileWaitingForStop) Machine().whileWaitingForStop();
  return Machine().stopEvent.value_or(false);
}

namespace {

// When the process behind the handle ends: now for one that has ended,
// never (none) for one without an end.
std::optional<std::uint64_t> EndOf(const Handle& process) {
  const auto opened = Machine().processes.openHandles.find(process.value());
  if (opened == Machine().processes.openHandles.end()) return std::nullopt;
  const fake::FakeProcess* running = Machine().processes.FindRunning(opened->second.processId);
  return running == nullptr ? Machine().tickCount : running->endsAt;
}

}  // namespace

// Time passes to the first end among the processes or to the timeout, then
// whileWaitingForStop runs; a stop it sets wins.
Failure WaitForStopEventOrProcessEnd(std::span<const Handle> processes, std::uint32_t milliseconds,
                                     StopOrProcessEnd& result) {
  Machine().stopWaits.push_back(milliseconds);
  std::uint64_t until = Machine().tickCount + milliseconds;
  for (const Handle& process : processes) {
    if (const std::optional<std::uint64_t> end = EndOf(process)) until = std::min(until, *end);
  }
  fake::PassTime(until - Machine().tickCount);
  if (Machine().whileWaitingForStop) Machine().whileWaitingForStop();
  const bool anEnd = std::ranges::any_of(processes, [](const Handle& process) {
    const std::optional<std::uint64_t> end = EndOf(process);
    return end && *end <= Machine().tickCount;
  });
  result = Machine().stopEvent.value_or(false) ? StopOrProcessEnd::Stopped
           : anEnd                             ? StopOrProcessEnd::ProcessEnded
                                               : StopOrProcessEnd::TimedOut;
  return std::nullopt;
}

}  // namespace ostrel::os
