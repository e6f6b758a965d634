#include "service/service_host.h"

#include <chrono>
#include <future>
#include <mutex>

#include "foundation/failure.h"
#include "locations/updater_locations.h"
#include "os/com.h"
#include "os/service_control.h"
#include "os/stop_event.h"
#include "service/update_cycle.h"
#include "state/update_history.h"

namespace ostrel {
namespace {

constexpr std::chrono::milliseconds StopWaitHint{30000};
constexpr std::chrono::milliseconds StopProgressInterval{1000};

// The control handler reports from the dispatcher's thread while the cycle
// ends on the service's: a stop that arrives as the cycle ends must not be
// reported after "stopped", which the manager would log as a service that
// ended unexpectedly. Only these reports take the lock.
std::mutex reportLock;
bool stoppedReported = false;
// Each report of the stop pending advances it, so the manager sees progress.
std::uint32_t stopCheckPoint = 0;

// The update cycle to its end: false when it failed. Nothing may escape to
// the dispatcher: the status file keeps what the cycle last wrote, and the
// history the failure's message.
bool RunCycle() {
  try {
    RaiseIfFailed(os::CoInitializeEx(os::CoinitMultithreaded));
    RunUpdateCycle();
  } catch (...) {
    RecordHistory(HistoryRole::Service, "Service ended", MessageOf(std::current_exception()));
    return false;
  }
  RecordHistory(HistoryRole::Service, "Service ended");
  return true;
}

// Waits for the cycle, which runs on a thread of its own so that this one
// can tell the manager, once a second while a stop winds the cycle down,
// that the service still makes progress, for as long as its wait hint
// promised; a cycle stuck beyond that is left to the manager's judgement.
bool AwaitCycle(std::future<bool>& cycle) {
  std::chrono::milliseconds stopping{0};
  while (cycle.wait_for(StopProgressInterval) != std::future_status::ready) {
    if (!os::IsStopEventSet()) continue;
    stopping += StopProgressInterval;
    if (stopping < StopWaitHint) ReportServiceStatus(os::ServiceStopPending, false);
  }
  return cycle.get();
}

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
  status.checkPoint = state == os::ServiceStopPending ? ++stopCheckPoint : 0;
  status.waitHint = state == os::ServiceStopPending ? static_cast<std::uint32_t>(StopWaitHint.count()) : 0;
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
    stopCheckPoint = 0;
  }
  if (os::CreateStopEvent()) return;
  if (os::RegisterServiceCtrlHandlerEx(ServiceName, ServiceControlHandler)) return;
  ReportServiceStatus(os::ServiceRunning, false);
  bool succeeded = false;
  try {
    std::future<bool> cycle = std::async(std::launch::async, RunCycle);
    succeeded = AwaitCycle(cycle);
  } catch (...) {
    // No thread could be started for the cycle.
  }
  ReportServiceStatus(os::ServiceStopped, !succeeded);
}

}  // namespace ostrel
