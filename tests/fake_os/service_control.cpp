#include "os/service_control.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {
namespace {

fake::FakeServiceControl& Control() { return fake::Machine().serviceControl; }

}  // namespace

Failure StartServiceCtrlDispatcher(std::u16string_view serviceName, ServiceMainFunction serviceMain) {
  Control().dispatcherCalls.emplace_back(serviceName);
  if (Control().dispatcherResult) return Control().dispatcherResult;
  std::u16string name(serviceName);
  char16_t* arguments[] = {name.data(), nullptr};
  serviceMain(1, arguments);
  return std::nullopt;
}

Failure RegisterServiceCtrlHandlerEx(std::u16string_view serviceName, ServiceControlHandlerFunction handler) {
  Control().registrations.emplace_back(serviceName);
  if (Control().registerResult) return Control().registerResult;
  Control().handler = handler;
  return std::nullopt;
}

Failure SetServiceStatus(const ServiceStatus& status) {
  if (Control().handler == nullptr) return ErrorInvalidHandle;
  Control().statuses.push_back(status);
  return Control().setStatusResult;
}

}  // namespace ostrel::os
