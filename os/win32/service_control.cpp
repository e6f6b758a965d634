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

}  // namespace

ErrorCode StartServiceCtrlDispatcher(std::u16string_view serviceName, ServiceMainFunction serviceMain) {
  registeredServiceMain = serviceMain;
  std::wstring name = win32::WideString(serviceName);
  SERVICE_TABLE_ENTRYW table[] = {{name.data(), ServiceMainTrampoline}, {nullptr, nullptr}};
  if (!::StartServiceCtrlDispatcherW(table)) return ::GetLastError();
  return ErrorSuccess;
}

}  // namespace ostrel::os
