#include "os/service_manager.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

SC_HANDLE Native(const ServiceHandle& handle) { return reinterpret_cast<SC_HANDLE>(handle.value()); }

}  // namespace

void CloseServiceHandle(std::uintptr_t handle) noexcept { ::CloseServiceHandle(reinterpret_cast<SC_HANDLE>(handle)); }

ErrorCode OpenSCManager(std::uint32_t desiredAccess, ServiceHandle& manager) {
  // No machine name: the local machine; no database name: the active one.
  SC_HANDLE opened = ::OpenSCManagerW(nullptr, nullptr, desiredAccess);
  if (opened == nullptr) return ::GetLastError();
  manager = ServiceHandle(reinterpret_cast<std::uintptr_t>(opened));
  return ErrorSuccess;
}

ErrorCode OpenService(const ServiceHandle& manager, std::u16string_view serviceName, std::uint32_t desiredAccess,
                      ServiceHandle& service) {
  SC_HANDLE opened = ::OpenServiceW(Native(manager), win32::WideString(serviceName).c_str(), desiredAccess);
  if (opened == nullptr) return ::GetLastError();
  service = ServiceHandle(reinterpret_cast<std::uintptr_t>(opened));
  return ErrorSuccess;
}

ErrorCode StartService(const ServiceHandle& service) {
  return ::StartServiceW(Native(service), 0, nullptr) ? ErrorSuccess : ::GetLastError();
}

ErrorCode ControlService(const ServiceHandle& service, std::uint32_t control) {
  SERVICE_STATUS status{};
  return ::ControlService(Native(service), control, &status) ? ErrorSuccess : ::GetLastError();
}

}  // namespace ostrel::os
