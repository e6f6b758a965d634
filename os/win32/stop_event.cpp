#include "os/stop_event.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

// Lives as long as the process: the control handler may set it until the
// process ends, so it is never closed.
HANDLE stopEvent = nullptr;

}  // namespace

ErrorCode CreateStopEvent() {
  stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return stopEvent == nullptr ? ::GetLastError() : ErrorSuccess;
}

ErrorCode SetStopEvent() { return ::SetEvent(stopEvent) ? ErrorSuccess : ::GetLastError(); }

bool WaitForStopEvent(std::uint32_t milliseconds) {
  if (stopEvent == nullptr) {
    ::Sleep(milliseconds);
    return false;
  }
  return ::WaitForSingleObject(stopEvent, milliseconds) == WAIT_OBJECT_0;
}

bool IsStopEventSet() { return stopEvent != nullptr && ::WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0; }

}  // namespace ostrel::os
