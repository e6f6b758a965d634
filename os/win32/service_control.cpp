#include "os/service_control.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

// The dispatcher calls a WINAPI function with wchar_t arguments; this one
// forwards to the portable entry. One service per process, set once before
// the dispatcher starts.
ServiceMainFunction registeredServiceMain = nullptr;

void WINAPI ServiceMainTrampoline(DWORD argumentCount, LPWSTR* arguments) {
  registeredServiceMain(argumentCount, reinterpret_cast<char16_t**>(arguments));
}

// The same for the control handler, registered once by the service's entry.
ServiceControlHandlerFunction registeredHandler = nullptr;

DWORD WINAPI ControlHandlerTrampoline(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context) {
  return registeredHandler(control, eventType, eventData, context);
}

// Lives as long as the process, as the system requires: a status handle is
// never closed.
SERVICE_STATUS_HANDLE statusHandle = nullptr;

}  // namespace

Failure StartServiceCtrlDispatcher(std::u16string_view serviceName, ServiceMainFunction serviceMain) {
  registeredServiceMain = serviceMain;
  std::wstring name = win32::WideString(serviceName);
  SERVICE_TABLE_ENTRYW table[] = {{name.data(), ServiceMainTrampoline}, {nullptr, nullptr}};
  if (!::StartServiceCtrlDispatcherW(table)) return ::GetLastError();
  return std::nullopt;
}

Failure RegisterServiceCtrlHandlerEx(std::u16string_view serviceName, ServiceControlHandlerFunction handler) {
  registeredHandler = handler;
  statusHandle =
      ::RegisterServiceCtrlHandlerExW(win32::WideString(serviceName).c_str(), ControlHandlerTrampoline, nullptr);
  return win32::FailureUnless(statusHandle != nullptr);
}

Failure SetServiceStatus(const ServiceStatus& status) {
  SERVICE_STATUS native{status.serviceType,     status.currentState,
                        status.controlsAccepted, status.win32ExitCode,
                        status.serviceSpecificExitCode, status.checkPoint,
                        status.waitHint};
  return win32::FailureUnless(::SetServiceStatus(statusHandle, &native));
}

}  // namespace ostrel::os
