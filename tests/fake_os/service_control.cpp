#include "os/service_control.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {
namespace {

fake::FakeServiceControl& Control() { return fake::Machine().serviceControl; }

}  // namespace

ErrorCode StartServiceCtrlDispatcher(std::u16string_view serviceName, ServiceMainFunction serviceMain) {
  Control().dispatcherCalls.emplace_back(serviceName);
  if (Control().dispatcherResult != ErrorSuccess) return Control().dispatcherResult;
  std::u16string name(serviceName);
  char16_t* arguments[] = {name.data(), nullptr};
  serviceMain(1, arguments);
  return ErrorSuccess;
}

ErrorCode RegisterServiceCtrlHandlerEx(std::u16string_view serviceName, ServiceControlHandlerFunction handler) {
  Control().registrations.emplace_back(serviceName);
  if (Control().registerResult != ErrorSuccess) return Control().registerResult;
  Control().handler = handler;
  return ErrorSuccess;
}

ErrorCode SetServiceStatus(const ServiceStatus& status) {
  if (Control().handler == nullptr) return ErrorInvalidHandle;
  Control().statuses.push_back(status);
  return Control().setStatusResult;
}

}  // namespace ostrel::os
