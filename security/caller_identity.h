// Who runs the updater: the checks each role makes before anything else.
// They read the system's security state and change nothing.
#pragma once

namespace ostrel {

// Whether the user of the process's primary token is LocalSystem. Only the
// user counts: a token that merely holds a powerful group is not LocalSystem,
// and a thread's impersonation is ignored.
bool IsLocalSystem();

// Returns when the calling thread's effective token holds Administrators as
// an enabled group (an elevated administrator); raises the caller's denial
// message, without a code, otherwise.
void RequireAdministrator(const char* denialMessage);

}  // namespace ostrel
