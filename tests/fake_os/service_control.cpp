#include "os/service_control.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {

using fake::Machine;

ErrorCode StartServiceCtrlDispatcher(std::u16string_view serviceName, ServiceMainFunction) {
  Machine().dispatcherCalls.emplace_back(serviceName);
  return Machine().dispatcherResult;
}

}  // namespace ostrel::os
