#include "service/service_host.h"

#include <mutex>

#include "foundation/failure.h"
#include "locations/updater_locations.h"
#include "os/com.h"
#include "os/service_control.h"
#include "os/stop_event.h"
#include "service/update_cycle.h"

namespace ostrel {
namespace {

constexpr std::uint32_t StopWaitHintMilliseconds = 30000;

// The control handler reports from the dispatcher's thread while the cycle
// ends on the service's: a stop that arrives as the cycle ends must not be
// reported after "stopped", which the manager would log as a service that
// ended unexpectedly. Only these reports take the lock.
std::mutex reportLock;
bool stoppedReported = false;

}  // namespace

void ReportServiceStatus(std::uint32_t state, bool failed) {
  const std::lock_guard<std::mutex> reporting(reportLock);
  if (stoppedReported) return;
  stoppedReported = state == os::ServiceStopped;
  os::ServiceStatus status;
  status.serviceType = os::ServiceWin32OwnProcess;
  status.currentState = state;
  status.controlsAccepted = state == os::ServiceRunning ? os::ServiceAcceptStop | os::ServiceAcceptShutdown : 0;
  status.win32ExitCode = failed ? os::ErrorServiceSpecificError : os::ErrorSuccess;
  status.serviceSpecificExitCode = failed ? 1 : 0;
  status.waitHint = state == os::ServiceStopPending ? StopWaitHintMilliseconds : 0;
  // A report the manager refuses changes nothing the service could act on.
  (void)os::SetServiceStatus(status);
}

std::uint32_t ServiceControlHandler(std::uint32_t control, std::uint32_t, void*, void*) {
  switch (control) {
    case os::ServiceControlStop:
    case os::ServiceControlShutdown:
      ReportServiceStatus(os::ServiceStopPending, false);
      // The event exists: the handler is registered only after it was made.
      (void)os::SetStopEvent();
      return os::ErrorSuccess;
    case os::ServiceControlInterrogate:
      return os::ErrorSuccess;
    default:
      return os::ErrorCallNotImplemented;
  }
}

void ServiceMain(std::uint32_t, char16_t**) {
  // Without the event or the handler the service cannot be stopped, so it
  // never reports running and the manager gives up on the start.
  {
    const std::lock_guard<std::mutex> reporting(reportLock);
    stoppedReported = false;
  }
  if (os::CreateStopEvent()) return;
  if (os::RegisterServiceCtrlHandlerEx(ServiceName, ServiceControlHandler)) return;
  ReportServiceStatus(os::ServiceRunning, false);
  try {
    RaiseIfFailed(os::CoInitializeEx(os::CoinitMultithreaded));
    RunUpdateCycle();
    ReportServiceStatus(os::ServiceStopped, false);
  } catch (...) {
    // Nothing may escape to the dispatcher; the failure's message is lost,
    // and the status file keeps what the cycle last wrote.
    ReportServiceStatus(os::ServiceStopped, true);
  }
}

}  // namespace ostrel
