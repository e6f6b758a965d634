// Stopping the updater's service and waiting until it has stopped, as the
// removal and the preparation of a replacement both do, each in its own words.
#pragma once

#include "os/service_manager.h"

namespace ostrel {

// What a caller says when the stop fails.
struct ServiceStopMessages {
  // The stop request failed otherwise than on a stopped service; with code.
  const char* stopFailure;
  // A status query failed; with code.
  const char* statusFailure;
  // 120 queries half a second apart never showed it stopped; no code.
  const char* notStopped;
};

// Sends the stop control (a service that is not running is accepted), then
// queries the status up to 120 times, sleeping 500 ms after each query that
// does not show it stopped. The service handle needs SERVICE_STOP and
// SERVICE_QUERY_STATUS.
void StopServiceAndWait(const os::ServiceHandle& service, const ServiceStopMessages& messages);

// Opens the manager and, when it exists, the updater's service with the
// access asked for. Raises openManagerFailure with the code when the manager
// cannot be opened, and inspectFailure without a code when the service cannot
// be opened for any reason other than not existing; a missing service leaves
// the service handle empty.
void OpenUpdaterService(std::uint32_t serviceAccess, const char* openManagerFailure, const char* inspectFailure,
                        os::ServiceHandle& manager, os::ServiceHandle& service);

}  // namespace ostrel
