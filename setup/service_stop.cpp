#include "setup/service_stop.h"

#include "foundation/failure.h"
#include "locations/updater_locations.h"
#include "os/sleep.h"

namespace ostrel {
namespace {

// Twice the longest a stopping service announces (its 30-second wait hint):
// one still running after that is stuck.
constexpr int StatusQueries = 120;
constexpr std::uint32_t QueryPauseMilliseconds = 500;

}  // namespace

void StopServiceAndWait(const os::ServiceHandle& service, const ServiceStopMessages& messages) {
  const os::Failure stopFailure = os::ControlService(service, os::ServiceControlStop);
  if (stopFailure && stopFailure != os::ErrorServiceNotActive) RaiseLastError(messages.stopFailure, *stopFailure);
  for (int query = 0; query < StatusQueries; ++query) {
    os::ServiceStatus status;
    if (const os::Failure failure = os::QueryServiceStatus(service, status)) {
      RaiseLastError(messages.statusFailure, *failure);
    }
    if (status.currentState == os::ServiceStopped) return;
    os::Sleep(QueryPauseMilliseconds);
  }
  Require(false, messages.notStopped);
}

void OpenUpdaterService(std::uint32_t serviceAccess, const char* openManagerFailure, const char* inspectFailure,
                        os::ServiceHandle& manager, os::ServiceHandle& service) {
  if (const os::Failure failure = os::OpenSCManager(os::ScManagerConnect, manager)) {
    RaiseLastError(openManagerFailure, *failure);
  }
  const os::Failure openFailure = os::OpenService(manager, ServiceName, serviceAccess, service);
  Require(!openFailure || openFailure == os::ErrorServiceDoesNotExist, inspectFailure);
}

}  // namespace ostrel
