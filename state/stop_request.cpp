#include "state/stop_request.h"

#include "foundation/failure.h"
#include "os/stop_event.h"

namespace ostrel {

void RequireNoStopRequest() { Require(!os::IsStopEventSet(), "Update check canceled"); }

}  // namespace ostrel
