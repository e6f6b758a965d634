// The service control manager as its clients see it: opening the manager and
// a service by name, and asking the service to start or stop.
#pragma once

#include <cstdint>
#include <string_view>

#include "os/error_code.h"
#include "os/owned_value.h"
#include "os/service_control.h"

namespace ostrel::os {

// Access to the manager.
inline constexpr std::uint32_t ScManagerConnect = 0x0001;

// Access to a service.
inline constexpr std::uint32_t ServiceQueryStatus = 0x0004;
inline constexpr std::uint32_t ServiceStart = 0x0010;
inline constexpr std::uint32_t ServiceStop = 0x0020;

// ServiceControlStop, which asks a service to stop, is in service_control.h.
inline constexpr ErrorCode ErrorServiceAlreadyRunning = 1056;
inline constexpr ErrorCode ErrorServiceDoesNotExist = 1060;
inline constexpr ErrorCode ErrorServiceNotActive = 1062;

// CloseServiceHandle, for the manager and services alike. A failure is
// dropped: nothing can be done about it.
void CloseServiceHandle(std::uintptr_t handle) noexcept;

// The owner of an open handle to the manager or to a service.
using ServiceHandle = OwnedValue<CloseServiceHandle>;

// OpenSCManagerW for the local machine's active database.
[[nodiscard]] ErrorCode OpenSCManager(std::uint32_t desiredAccess, ServiceHandle& manager);

// OpenServiceW: the service of that name (matched without regard to case),
// with the access asked for, which its security must grant the caller.
[[nodiscard]] ErrorCode OpenService(const ServiceHandle& manager, std::u16string_view serviceName,
                                    std::uint32_t desiredAccess, ServiceHandle& service);

// StartServiceW with no arguments; a running service refuses with
// ErrorServiceAlreadyRunning. Returns once the service has been started,
// without waiting for it to report itself running.
[[nodiscard]] ErrorCode StartService(const ServiceHandle& service);

// ControlService: sends the control; a stop sent to a stopped service is
// refused with ErrorServiceNotActive. The status the manager reports back is
// not passed on: nobody here waits on it.
[[nodiscard]] ErrorCode ControlService(const ServiceHandle& service, std::uint32_t control);

}  // namespace ostrel::os
