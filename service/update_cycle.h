// The service's whole work, from its start to its stop: while the browser
// runs, check the signed feed every five seconds, stage a verified newer
// release in the protected working directory and publish the progress;
// once the browser is closed, hand a staged release to the apply worker.
#pragma once

namespace ostrel {

// Returns normally when another updater process is at work (an apply worker
// holds the transaction lock, or one started less than a minute ago runs),
// found at start, at every pass or just before an installer is committed;
// when a stop was requested, an uninstall is in progress, the browser is
// closed with nothing staged, or the apply worker has been started. The
// pause between two checks ends early when the browser closes. A verified
// installer that could not be committed whole is committed at a later pass
// without being downloaded again. A failed check is published and retried;
// any other failure, and a failure that is not a standard one (the JSON
// layer's, a known folder's), ends the cycle. Whatever way the cycle ends
// but a hand-off, a "downloading" or "installing" it published is replaced
// by a settled status: "ready" while a release is staged, else "error" with
// the failure's message. At its start it publishes what it finds staged, or
// replaces a status that still shows work nobody does any more with "error"
// "Update did not finish".
//
// Machine policy (ReadMachinePolicy) is read at the start and at every
// pass: updates turned off end the cycle there, before anything is checked
// or handed off. A release outside the policy's version prefix, offered or
// staged, is neither downloaded nor handed off; the status then carries the
// policy's "Held at version ..." message. What the cycle does is recorded in
// the update history, a failure repeated pass after pass once.
//
// Every request of the cycle travels on one kept connection (FeedConnection).
// A server that answers 429 or 503 with Retry-After delays the next check by
// that long, at most an hour. A release whose downloaded installer failed
// verification is checked at the usual pace but downloaded again only once
// its pause has passed (InstallerBackoffFailure); meanwhile each check
// publishes that failure again.
void RunUpdateCycle();

}  // namespace ostrel
