// "--apply": the throw-away copy of the updater that installs a staged
// release once the service that started it has ended.
#pragma once

#include <cstdint>

namespace ostrel {

// Installs the release staged in UpdaterDataDirectory, checking everything
// again: who runs it and from where, the transaction lock (held to the
// end), the end of parentProcessId within 30 seconds when that process is
// the updater at its fixed place (any other process with a reused id is not
// waited for), a closed browser (about 30 seconds of polls) and no
// uninstall, the signed metadata, a release still newer than the installed
// one (else it publishes "up_to_date" and installs nothing), and the
// installer's ACL, size and digest. Under the lock it removes orphaned files
// from the working directory (RemoveOrphanedFiles) and empties the
// installer's own temporary directory. The installer then runs with
// "/S /NATIVEUPDATE" in that directory, its file held against writers from
// verification to start, in a job that every process it starts joins; once
// every one of them has ended within 20 minutes, and the installer reported
// success, "Version" and the status "up_to_date" are written and the
// installer deleted. At the limit the job's processes are terminated.
//
// Raises std::runtime_error with the worker's own messages ("Only SYSTEM may
// apply a native release", "Invalid updater worker location", "Updater
// service has not stopped", "Browser is active or uninstall is in progress;
// update remains pending", "Uninstall is in progress; pending update
// canceled") or those of the operations it uses. A failure after the lock is
// taken is published first: "ready" with the staged version and the
// failure's message when the staged release could still be installed,
// "error" with the message otherwise; a failure to publish it is dropped in
// favour of the original. No installer process outlives the worker or its
// lock: they have ended before a failure is published, and the job ends
// them should the worker itself die. Writes nothing to the standard
// streams.
void RunApplyWorker(std::uint32_t parentProcessId);

}  // namespace ostrel
