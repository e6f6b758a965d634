// The service control manager as its clients see it: opening the manager and
// a service by name, and asking the service to start or stop.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "os/error_code.h"
#include "os/owned_value.h"
#include "os/security_descriptor.h"
#include "os/service_control.h"

namespace ostrel::os {

// Access to the manager.
inline constexpr std::uint32_t ScManagerConnect = 0x0001;
inline constexpr std::uint32_t ScManagerCreateService = 0x0002;

// Access to a service.
inline constexpr std::uint32_t ServiceQueryConfig = 0x0001;
inline constexpr std::uint32_t ServiceQueryStatus = 0x0004;
inline constexpr std::uint32_t ServiceStart = 0x0010;
inline constexpr std::uint32_t ServiceStop = 0x0020;
inline constexpr std::uint32_t ServiceChangeConfig = 0x0002;
inline constexpr std::uint32_t ServiceAllAccess = 0xF01FF;

// Configuration: the start type, the error control, and the value that
// leaves a number unchanged in ChangeServiceConfigW.
inline constexpr std::uint32_t ServiceDemandStart = 3;
inline constexpr std::uint32_t ServiceDisabled = 4;
inline constexpr std::uint32_t ServiceErrorNormal = 1;
inline constexpr std::uint32_t ServiceNoChange = 0xFFFFFFFF;

// ServiceControlStop, which asks a service to stop, is in service_control.h.
inline constexpr ErrorCode ErrorServiceAlreadyRunning = 1056;
inline constexpr ErrorCode ErrorServiceDisabled = 1058;
inline constexpr ErrorCode ErrorServiceDoesNotExist = 1060;
inline constexpr ErrorCode ErrorServiceNotActive = 1062;
inline constexpr ErrorCode ErrorServiceMarkedForDelete = 1072;
inline constexpr ErrorCode ErrorServiceExists = 1073;

// CloseServiceHandle, for the manager and services alike. A failure is
// dropped: nothing can be done about it.
void CloseServiceHandle(std::uintptr_t handle) noexcept;

// The owner of an open handle to the manager or to a service.
using ServiceHandle = OwnedValue<CloseServiceHandle>;

// OpenSCManagerW for the local machine's active database.
[[nodiscard]] Failure OpenSCManager(std::uint32_t desiredAccess, ServiceHandle& manager);

// OpenServiceW: the service of that name (matched without regard to case),
// with the access asked for, which its security must grant the caller.
[[nodiscard]] Failure OpenService(const ServiceHandle& manager, std::u16string_view serviceName,
                                  std::uint32_t desiredAccess, ServiceHandle& service);

// What a service's configuration holds that its creator sets.
struct ServiceConfiguration {
  std::uint32_t serviceType = 0;
  std::uint32_t startType = 0;
  std::uint32_t errorControl = 0;
  std::u16string binaryPathName;

  friend bool operator==(const ServiceConfiguration&, const ServiceConfiguration&) = default;
};

// CreateServiceW for LocalSystem (no account, no password), with no
// load-order group, tag or dependencies. An existing name fails with
// ErrorServiceExists.
[[nodiscard]] Failure CreateService(const ServiceHandle& manager, std::u16string_view serviceName,
                                    std::u16string_view displayName, std::uint32_t desiredAccess,
                                    const ServiceConfiguration& configuration, ServiceHandle& service);

// ChangeServiceConfigW of the type, start type, error control and command
// line; a number that is ServiceNoChange, and an empty command line (passed
// as null), stay as they are, and so do the load-order group, tag,
// dependencies, account, password and display name.
[[nodiscard]] Failure ChangeServiceConfig(const ServiceHandle& service, const ServiceConfiguration& configuration);

// SetServiceObjectSecurity: the parts of the descriptor (a descriptor from
// ConvertStringSecurityDescriptorToSecurityDescriptor) that the security
// information names.
[[nodiscard]] Failure SetServiceObjectSecurity(const ServiceHandle& service, std::uint32_t securityInformation,
                                               const SecurityDescriptor& descriptor);

// QueryServiceConfigW: the service's start type.
[[nodiscard]] Failure QueryServiceConfig(const ServiceHandle& service, std::uint32_t& startType);

// QueryServiceStatus.
[[nodiscard]] Failure QueryServiceStatus(const ServiceHandle& service, ServiceStatus& status);

// DeleteService: marks the service for deletion, which happens once every
// handle to it is closed; a second request fails with
// ErrorServiceMarkedForDelete.
[[nodiscard]] Failure DeleteService(const ServiceHandle& service);

// StartServiceW with no arguments; a running service refuses with
// ErrorServiceAlreadyRunning, a disabled one with ErrorServiceDisabled. Returns once the service has been started,
// without waiting for it to report itself running.
[[nodiscard]] Failure StartService(const ServiceHandle& service);

// ControlService: sends the control; a stop sent to a stopped service is
// refused with ErrorServiceNotActive. The status the manager reports back is
// not passed on: nobody here waits on it.
[[nodiscard]] Failure ControlService(const ServiceHandle& service, std::uint32_t control);

}  // namespace ostrel::os
