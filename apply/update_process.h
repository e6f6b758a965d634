// Starting the two executables the updater ever runs: the apply worker (a
// copy of the updater, not waited for) and the browser installer (waited
// for, and required to succeed). The caller has already verified the file.
#pragma once

#include <string_view>

#include "os/handle.h"

namespace ostrel {

// Starts executablePath, hidden and inheriting no handle, in the caller's
// environment, with the command line: the quoted path, a blank and the
// arguments unchanged; its working directory is the path's parent. Raises
// std::runtime_error "Start authenticated update" with the code when it
// cannot be started.
//
// With wait, it runs in a job of its own (installer_job.h), which every
// process it starts joins, and the call returns once every process of the
// job has ended, within 20 minutes of the start, and the process started
// ended with exit code 0. Raises the job's failures ("Start authenticated
// update" with the code, "Installer did not finish; it was terminated" and
// the others of AwaitEmptyJob), "Read installer result" with the code, or
// "Native installer reported a failure". Every process of the job has ended
// when a failure is raised after the start, or ends as the job's handle is
// closed on the way out.
void StartUpdateProcess(std::u16string_view executablePath, std::u16string_view arguments, bool wait);

// StartUpdateProcess with wait for the browser installer, in the given
// environment block instead of the caller's. verifiedInstaller, the handle
// through which the installer was verified, is held until CreateProcess has
// returned and closed then, so the file cannot change between its
// verification and its start.
void RunInstaller(std::u16string_view installerPath, std::u16string_view arguments, os::Handle verifiedInstaller,
                  std::u16string_view environment);

}  // namespace ostrel
