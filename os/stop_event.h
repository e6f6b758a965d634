// The service's stop request: one unnamed manual-reset event per process,
// created unset by the service host and set by its control handler. Every
// other role never creates it, and there it counts as never set.
#pragma once

#include <cstdint>

#include "os/error_code.h"

namespace ostrel::os {

// CreateEventW(no attributes, manual reset, unset, no name), kept for the
// rest of the process's life.
[[nodiscard]] Failure CreateStopEvent();

// SetEvent on the stop event.
[[nodiscard]] Failure SetStopEvent();

// True when the stop event exists and WaitForSingleObject on it with a zero
// timeout reports it signalled.
bool IsStopEventSet();

// WaitForSingleObject on the stop event for at most the given time: true as
// soon as it is set, false when the time ran out. Without the event, the
// whole time passes and the result is false.
bool WaitForStopEvent(std::uint32_t milliseconds);

}  // namespace ostrel::os
