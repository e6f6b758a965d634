// The service's stop request: one unnamed manual-reset event per process,
// created unset by the service host and set by its control handler. Every
// other role never creates it.
#pragma once

#include "os/error_code.h"

namespace ostrel::os {

// CreateEventW(no attributes, manual reset, unset, no name), kept for the
// rest of the process's life.
[[nodiscard]] ErrorCode CreateStopEvent();

// SetEvent on the stop event.
[[nodiscard]] ErrorCode SetStopEvent();

// True when the stop event exists and WaitForSingleObject on it with a zero
// timeout reports it signalled.
bool IsStopEventSet();

}  // namespace ostrel::os
