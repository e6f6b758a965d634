// The processes of the apply worker's image as the service meets them: a
// worker that a service started, or anybody's process of that file (any user
// may run it, and may keep it suspended for ever).
#pragma once

namespace ostrel {

// True when a process of ApplyWorkerPath created less than a minute ago
// runs: a worker on its way to the transaction lock, which it tries for
// about a second once it has started. One whose age cannot be read counts.
// Fails as VisitImageProcesses.
bool IsWorkerStarting();

// Terminates every process of ApplyWorkerPath that is no longer starting
// and waits a few seconds for each to end, so that a new worker can be
// copied over the image they hold. The caller has found the transaction
// lock free, so none of them has begun to act on the staged files. A
// process that cannot be ended is left to the copy's own failure. Fails as
// VisitImageProcesses.
void EndStaleWorkers();

}  // namespace ostrel
