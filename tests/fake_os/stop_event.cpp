#include "os/stop_event.h"

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

}  // namespace ostrel::os
