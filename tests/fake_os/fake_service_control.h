// The service control manager as a service process meets it: the dispatcher
// connection, the control handler's registration and the status reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "os/error_code.h"
#include "os/service_control.h"

namespace ostrel::fake {

struct FakeServiceControl {
  // A process the manager did not start is refused. When the connection is
  // accepted, the service's entry runs to its end before the dispatcher
  // returns, as its thread would before the process may end.
  os::Failure dispatcherResult = os::ErrorFailedServiceControllerConnect;
  std::vector<std::u16string> dispatcherCalls;

  // Registrations of a control handler, by service name, and the handler
  // the manager would call: a test sends controls through it.
  os::Failure registerResult;
  std::vector<std::u16string> registrations;
  os::ServiceControlHandlerFunction handler = nullptr;

  // Every status reported, in order.
  os::Failure setStatusResult;
  std::vector<os::ServiceStatus> statuses;

  // Sends the control code to the registered handler, as the manager does.
  std::uint32_t Send(std::uint32_t control) const { return handler(control, 0, nullptr, nullptr); }
};

}  // namespace ostrel::fake
