// The connection between a service process and the service control manager.
#pragma once

#include <cstdint>
#include <string_view>

#include "os/error_code.h"

namespace ostrel::os {

// The service's entry, run on a thread the dispatcher creates.
using ServiceMainFunction = void (*)(std::uint32_t argumentCount, char16_t** arguments);

// StartServiceCtrlDispatcherW with a table of this one service and the
// terminating entry. Blocks until the service has stopped.
[[nodiscard]] ErrorCode StartServiceCtrlDispatcher(std::u16string_view serviceName,
                                                   ServiceMainFunction serviceMain);

}  // namespace ostrel::os
