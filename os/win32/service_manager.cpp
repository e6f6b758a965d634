#include "os/service_manager.h"

#include <vector>

#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

SC_HANDLE Native(const ServiceHandle& handle) { return reinterpret_cast<SC_HANDLE>(handle.value()); }

}  // namespace

void CloseServiceHandle(std::uintptr_t handle) noexcept { ::CloseServiceHandle(reinterpret_cast<SC_HANDLE>(handle)); }

Failure OpenSCManager(std::uint32_t desiredAccess, ServiceHandle& manager) {
  // No machine name: the local machine; no database name: the active one.
  SC_HANDLE opened = ::OpenSCManagerW(nullptr, nullptr, desiredAccess);
  if (opened == nullptr) return ::GetLastError();
  manager = ServiceHandle(reinterpret_cast<std::uintptr_t>(opened));
  return std::nullopt;
}

Failure OpenService(const ServiceHandle& manager, std::u16string_view serviceName, std::uint32_t desiredAccess,
                    ServiceHandle& service) {
  SC_HANDLE opened = ::OpenServiceW(Native(manager), win32::WideString(serviceName).c_str(), desiredAccess);
  if (opened == nullptr) return ::GetLastError();
  service = ServiceHandle(reinterpret_cast<std::uintptr_t>(opened));
  return std::nullopt;
}

Failure CreateService(const ServiceHandle& manager, std::u16string_view serviceName, std::u16string_view displayName,
                      std::uint32_t desiredAccess, const ServiceConfiguration& configuration, ServiceHandle& service) {
  // No load-order group, tag or dependencies; no account and no password:
  // LocalSystem.
  SC_HANDLE created = ::CreateServiceW(
      Native(manager), win32::WideString(serviceName).c_str(), win32::WideString(displayName).c_str(), desiredAccess,
      configuration.serviceType, configuration.startType, configuration.errorControl,
      win32::WideString(configuration.binaryPathName).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  if (created == nullptr) return ::GetLastError();
  service = ServiceHandle(reinterpret_cast<std::uintptr_t>(created));
  return std::nullopt;
}

Failure ChangeServiceConfig(const ServiceHandle& service, const ServiceConfiguration& configuration) {
  // Null for every text left unchanged: group, dependencies, account,
  // password, display name; and no tag.
  const std::wstring commandLine = win32::WideString(configuration.binaryPathName);
  return win32::FailureUnless(::ChangeServiceConfigW(
      Native(service), configuration.serviceType, configuration.startType, configuration.errorControl,
      commandLine.empty() ? nullptr : commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
}

Failure SetServiceObjectSecurity(const ServiceHandle& service, std::uint32_t securityInformation,
                                 const SecurityDescriptor& descriptor) {
  return win32::FailureUnless(::SetServiceObjectSecurity(Native(service), securityInformation,
                                                         reinterpret_cast<PSECURITY_DESCRIPTOR>(descriptor.value())));
}

Failure QueryServiceConfig(const ServiceHandle& service, std::uint32_t& startType) {
  // The fixed record comes first in a buffer that also holds its strings.
  DWORD needed = 0;
  ::QueryServiceConfigW(Native(service), nullptr, 0, &needed);
  if (needed == 0) return ::GetLastError();
  std::vector<unsigned char> buffer(needed);
  auto* configuration = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!::QueryServiceConfigW(Native(service), configuration, needed, &needed)) return ::GetLastError();
  startType = configuration->dwStartType;
  return std::nullopt;
}

Failure QueryServiceStatus(const ServiceHandle& service, ServiceStatus& status) {
  SERVICE_STATUS queried{};
  if (!::QueryServiceStatus(Native(service), &queried)) return ::GetLastError();
  status = ServiceStatus{queried.dwServiceType,   queried.dwCurrentState,          queried.dwControlsAccepted,
                         queried.dwWin32ExitCode, queried.dwServiceSpecificExitCode, queried.dwCheckPoint,
                         queried.dwWaitHint};
  return std::nullopt;
}

Failure DeleteService(const ServiceHandle& service) { return win32::FailureUnless(::DeleteService(Native(service))); }

Failure StartService(const ServiceHandle& service) {
  return win32::FailureUnless(::StartServiceW(Native(service), 0, nullptr));
}

Failure ControlService(const ServiceHandle& service, std::uint32_t control) {
  SERVICE_STATUS status{};
  return win32::FailureUnless(::ControlService(Native(service), control, &status));
}

}  // namespace ostrel::os
