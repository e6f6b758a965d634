// The processes of the apply worker's image as the service meets them: a
// worker that a service started, or anybody's process of that file (any user
// may run it, and may keep it suspended for ever).
#pragma once

#include "inspect/process_list.h"

namespace ostrel {

// True when a process of the list that runs ApplyWorkerPath was created
// less than a minute ago: a worker on its way to the transaction lock,
// which it tries for about a second once it has started. One whose age
// cannot be read counts.
bool IsWorkerStarting(const ProcessList& processes);

// Terminates every process of the list that runs ApplyWorkerPath and is no
// longer starting, and waits a few seconds for each to end, so that a new
// worker can be copied over the image they hold. The caller has found the
// transaction lock free, so none of them has begun to act on the staged
// files. A process that cannot be ended is left to the copy's own failure.
void EndStaleWorkers(const ProcessList& processes);

}  // namespace ostrel
