// The connection between a service process and the service control manager:
// the dispatcher, the control handler and the status reports. The status
// handle is the process's own, kept by this layer from the handler's
// registration until the process ends.
#pragma once

#include <cstdint>
#include <string_view>

#include "os/error_code.h"

namespace ostrel::os {

inline constexpr std::uint32_t ServiceWin32OwnProcess = 0x10;
inline constexpr std::uint32_t ServiceStopped = 1;
inline constexpr std::uint32_t ServiceStopPending = 3;
inline constexpr std::uint32_t ServiceRunning = 4;
inline constexpr std::uint32_t ServiceAcceptStop = 0x1;
inline constexpr std::uint32_t ServiceAcceptShutdown = 0x4;
inline constexpr std::uint32_t ServiceControlStop = 1;
inline constexpr std::uint32_t ServiceControlInterrogate = 4;
inline constexpr std::uint32_t ServiceControlShutdown = 5;
inline constexpr ErrorCode ErrorCallNotImplemented = 120;
inline constexpr ErrorCode ErrorServiceSpecificError = 1066;

// The service's entry, run on a thread the dispatcher creates.
using ServiceMainFunction = void (*)(std::uint32_t argumentCount, char16_t** arguments);

// The extended control handler, run on the dispatcher's thread: the control
// code, the event type and data, and the registration's context.
using ServiceControlHandlerFunction = std::uint32_t (*)(std::uint32_t control, std::uint32_t eventType,
                                                        void* eventData, void* context);

// SERVICE_STATUS.
struct ServiceStatus {
  std::uint32_t serviceType = 0;
  std::uint32_t currentState = 0;
  std::uint32_t controlsAccepted = 0;
  std::uint32_t win32ExitCode = 0;
  std::uint32_t serviceSpecificExitCode = 0;
  std::uint32_t checkPoint = 0;
  std::uint32_t waitHint = 0;

  friend bool operator==(const ServiceStatus&, const ServiceStatus&) = default;
};

// StartServiceCtrlDispatcherW with a table of this one service and the
// terminating entry. Blocks until the service has stopped.
[[nodiscard]] Failure StartServiceCtrlDispatcher(std::u16string_view serviceName, ServiceMainFunction serviceMain);

// RegisterServiceCtrlHandlerExW(serviceName, handler, no context), keeping
// the status handle it returns for SetServiceStatus.
[[nodiscard]] Failure RegisterServiceCtrlHandlerEx(std::u16string_view serviceName,
                                                   ServiceControlHandlerFunction handler);

// SetServiceStatus with the registered status handle.
[[nodiscard]] Failure SetServiceStatus(const ServiceStatus& status);

}  // namespace ostrel::os
