#include "setup/service_stop.h"

#include "foundation/failure.h"
#include "foundation/updater_locations.h"
#include "os/sleep.h"

namespace ostrel {
namespace {

constexpr int StatusQueries = 60;
constexpr std::uint32_t QueryPauseMilliseconds = 500;

}  // namespace

void StopServiceAndWait(const os::ServiceHandle& service, const ServiceStopMessages& messages) {
  os::ErrorCode stop = os::ControlService(service, os::ServiceControlStop);
  if (stop != os::ErrorSuccess && stop != os::ErrorServiceNotActive) RaiseLastError(messages.stopFailure, stop);
  for (int query = 0; query < StatusQueries; ++query) {
    os::ServiceStatus status;
    if (os::ErrorCode error = os::QueryServiceStatus(service, status)) RaiseLastError(messages.statusFailure, error);
    if (status.currentState == os::ServiceStopped) return;
    os::Sleep(QueryPauseMilliseconds);
  }
  Require(false, messages.notStopped);
}

void OpenUpdaterService(std::uint32_t serviceAccess, const char* openManagerFailure, const char* inspectFailure,
                        os::ServiceHandle& manager, os::ServiceHandle& service) {
  if (os::ErrorCode error = os::OpenSCManager(os::ScManagerConnect, manager)) RaiseLastError(openManagerFailure, error);
  os::ErrorCode open = os::OpenService(manager, ServiceName, serviceAccess, service);
  Require(open == os::ErrorSuccess || open == os::ErrorServiceDoesNotExist, inspectFailure);
}

}  // namespace ostrel
