// The updater's Windows service, as the roles that only ask it something
// (its start, its stop, its configuration) open it.
#pragma once

#include <cstdint>

#include "os/service_manager.h"

namespace ostrel {

// The open service and the connection it was opened through; the service's
// handle is closed first.
struct UpdaterService {
  os::ServiceHandle manager;
  os::ServiceHandle service;
};

// Opens the service "OstrelNativeUpdater" with the access asked for, through
// a connection to the local service control manager. Raises
// std::runtime_error "Open update control" or "Open native updater" with
// the system's code.
UpdaterService OpenUpdaterService(std::uint32_t access);

}  // namespace ostrel
