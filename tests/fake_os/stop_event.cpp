#include "os/stop_event.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {

using fake::Machine;

ErrorCode CreateStopEvent() {
  Machine().stopEvent = false;
  return ErrorSuccess;
}

ErrorCode SetStopEvent() {
  if (!Machine().stopEvent) return ErrorInvalidHandle;
  Machine().stopEvent = true;
  return ErrorSuccess;
}

bool IsStopEventSet() { return Machine().stopEvent.value_or(false); }

bool WaitForStopEvent(std::uint32_t milliseconds) {
  Machine().stopWaits.push_back(milliseconds);
  Machine().tickCount += milliseconds;
  if (Machine().whileWaitingForStop) Machine().whileWaitingForStop();
  return Machine().stopEvent.value_or(false);
}

}  // namespace ostrel::os
