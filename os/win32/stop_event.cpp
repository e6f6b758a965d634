#include "os/stop_event.h"

#include <vector>

#include "os/win32/stop_event_handle.h"
#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

// Lives as long as the process: the control handler may set it until the
// process ends, so it is never closed.
HANDLE stopEvent = nullptr;

}  // namespace

HANDLE win32::StopEventHandle() { return stopEvent; }

Failure CreateStopEvent() {
  stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return win32::FailureUnless(stopEvent != nullptr);
}

Failure SetStopEvent() { return win32::FailureUnless(::SetEvent(stopEvent)); }

bool WaitForStopEvent(std::uint32_t milliseconds) {
  if (stopEvent == nullptr) {
    ::Sleep(milliseconds);
    return false;
  }
  return ::WaitForSingleObject(stopEvent, milliseconds) == WAIT_OBJECT_0;
}

bool IsStopEventSet() { return stopEvent != nullptr && ::WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0; }

Failure WaitForStopEventOrProcessEnd(std::span<const Handle> processes, std::uint32_t milliseconds,
                                     StopOrProcessEnd& result) {
  std::vector<HANDLE> objects{stopEvent};
  for (const Handle& process : processes) objects.push_back(reinterpret_cast<HANDLE>(process.value()));
  const DWORD waited =
      ::WaitForMultipleObjects(static_cast<DWORD>(objects.size()), objects.data(), FALSE, milliseconds);
  if (waited == WAIT_FAILED) return ::GetLastError();
  result = waited == WAIT_TIMEOUT        ? StopOrProcessEnd::TimedOut
           : waited == WAIT_OBJECT_0     ? StopOrProcessEnd::Stopped
                                         : StopOrProcessEnd::ProcessEnded;
  return std::nullopt;
}

}  // namespace ostrel::os
