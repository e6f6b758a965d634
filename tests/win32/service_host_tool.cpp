// The service process of the service host test under Wine, started by the
// service control manager. Its argument selects the service's entry:
//   cycle  the updater's own ServiceMain, whose update cycle refuses to run
//          as anyone but LocalSystem and so fails at once;
//   wait   a service built on the host's control handler and status
//          reports, which runs until it is told to stop.
#include <cstdio>
#include <string_view>

#include "locations/updater_locations.h"
#include "os/service_control.h"
#include "os/stop_event.h"
#include "service/service_host.h"

namespace {

using namespace ostrel;

void WaitingServiceMain(std::uint32_t, char16_t**) {
  if (os::CreateStopEvent()) return;
  if (os::RegisterServiceCtrlHandlerEx(ServiceName, ServiceControlHandler)) return;
  ReportServiceStatus(os::ServiceRunning, false);
  while (!os::WaitForStopEvent(1000)) {
  }
  ReportServiceStatus(os::ServiceStopped, false);
}

}  // namespace

int main(int argumentCount, char** arguments) {
  std::string_view mode = argumentCount == 2 ? arguments[1] : "";
  if (mode != "cycle" && mode != "wait") return 2;
  os::ServiceMainFunction entry = mode == "cycle" ? ServiceMain : WaitingServiceMain;
  if (const os::Failure failure = os::StartServiceCtrlDispatcher(ServiceName, entry)) {
    std::printf("Connect service dispatcher (%u)\n", *failure);
    return 1;
  }
  return 0;
}
