// The Windows service "OstrelNativeUpdater" that runs the update cycle: what
// the service control manager calls in the service process.
#pragma once

#include <cstdint>

namespace ostrel {

// The service's entry, called by the service control dispatcher on a thread
// of its own: reports the service running, runs the update cycle to its end
// on another thread and reports it stopped, with the service-specific exit
// code 1 when the cycle failed (or could not be started). While a stop is
// pending and the cycle still runs, the stop pending is reported again once
// a second, its check point advanced, for as long as the wait hint lasts.
// The arguments are ignored.
void ServiceMain(std::uint32_t argumentCount, char16_t** arguments);

// Reports the service's state to the service control manager: stop and
// shutdown accepted only while running, the 30-second wait hint and a check
// point that advances with every such report only while a stop is pending,
// and 1066 with the service-specific code 1 when failed. A
// refused report is ignored. Once "stopped" has been reported, no later
// report of the run is made: a service run ends in "stopped". Safe to call
// from the handler's thread and the service's at once.
void ReportServiceStatus(std::uint32_t state, bool failed);

// The control handler, run on the dispatcher's thread: a stop or a shutdown
// reports the stop pending and sets the stop event (0); an interrogation is
// answered 0; anything else 120.
std::uint32_t ServiceControlHandler(std::uint32_t control, std::uint32_t eventType, void* eventData, void* context);

}  // namespace ostrel
