// Starting the two executables the updater ever runs: the apply worker (a
// copy of the updater, not waited for) and the browser installer (waited
// for, and required to succeed). The caller has already verified the file.
#pragma once

#include <string_view>

#include "os/handle.h"

namespace ostrel {

// Starts executablePath, hidden and inheriting no handle, in the caller's
// environment, with the command line: the quoted path, a blank and the
// arguments unchanged; its working directory is the path's parent. With
// wait, waits at most 20 minutes and requires exit code 0. Raises
// std::runtime_error "Start authenticated update" (with the code),
// "Installer did not finish; it was not terminated", "Read installer result"
// (with the code) or "Native installer reported a failure". A started
// process is never terminated.
void StartUpdateProcess(std::u16string_view executablePath, std::u16string_view arguments, bool wait);

// StartUpdateProcess with wait for the browser installer, in the given
// environment block instead of the caller's. verifiedInstaller, the handle
// through which the installer was verified, is held until CreateProcess has
// returned and closed then, so the file cannot change between its
// verification and its start.
void RunInstaller(std::u16string_view installerPath, std::u16string_view arguments, os::Handle verifiedInstaller,
                  std::u16string_view environment);

}  // namespace ostrel
