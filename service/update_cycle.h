// The service's whole work, from its start to its stop: while the browser
// runs, check the signed feed every five seconds, stage a verified newer
// release in the protected working directory and publish the progress;
// once the browser is closed, hand a staged release to the apply worker.
#pragma once

namespace ostrel {

// Returns normally when another updater process is at work (an apply worker
// holds the transaction lock or runs), found at start, at every pass or just
// before an installer is committed; when a stop was requested, an uninstall
// is in progress, the browser is closed with nothing staged, or the apply
// worker has been started. A verified installer that could not be committed
// is committed at a later pass without being downloaded again. A failed check is
// published and retried; any other failure, and a failure that is not a
// standard one (the JSON layer's, a known folder's), ends the cycle.
void RunUpdateCycle();

}  // namespace ostrel
