// The process entry: one run of the executable plays one role, chosen by its
// command line, and every failure that escapes the role ends here as one line
// on the standard error stream.
#pragma once

namespace ostrel {

// Starts COM for the main thread, runs the role the arguments select and
// returns the process exit code: the role's own result for the installation
// report and the native messaging host, otherwise 0, and 1 after a failure.
// The arguments are UTF-16, argument zero being the executable's own name.
int RunProcessEntry(int argumentCount, const char16_t* const* arguments);

}  // namespace ostrel
