// The service's stop request: one unnamed manual-reset event per process,
// created unset by the service host and set by its control handler. Every
// other role never creates it, and there it counts as never set.
#pragma once

#include <cstdint>
#include <span>

#include "os/error_code.h"
#include "os/handle.h"

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

// How a wait on the stop event and processes ended.
enum class StopOrProcessEnd { TimedOut, Stopped, ProcessEnded };

// The most processes one wait can watch beside the stop event
// (MAXIMUM_WAIT_OBJECTS less one).
inline constexpr std::size_t MaximumWatchedProcesses = 63;

// WaitForMultipleObjects on the stop event and the processes (at most
// MaximumWatchedProcesses, each opened with Synchronize), for any one of
// them, for at most the given time; the stop event comes first, so a stop
// wins over a process that ended at the same time. Fails when the wait
// fails. Only the service, which has the event, calls it.
[[nodiscard]] Failure WaitForStopEventOrProcessEnd(std::span<const Handle> processes, std::uint32_t milliseconds,
                                                   StopOrProcessEnd& result);

}  // namespace ostrel::os
