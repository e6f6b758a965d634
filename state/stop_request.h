// The service's stop request, as the long operations of the update cycle
// honour it: each tests it between its steps and gives up at once.
#pragma once

namespace ostrel {

// Fails with "Update check canceled" once the service has been told to
// stop; in every other role, never.
void RequireNoStopRequest();

}  // namespace ostrel
