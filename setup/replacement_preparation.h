// "--prepare-install": stops the updater before its executable is replaced.
#pragma once

namespace ostrel {

// Disables the service (start type SERVICE_DISABLED), then stops it and
// waits until it has stopped; a missing service is nothing to prepare. From
// then on nobody can start the service ("check" fails with "Start native
// updater (1058)") until "--install" sets demand start again. Raises
// "Disable updater before replacement" with the code, and the failures of
// StopServiceAndWait in this role's words. An apply worker that the service
// has already started is not waited for.
void PrepareReplacement();

}  // namespace ostrel
