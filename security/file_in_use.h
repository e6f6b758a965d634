// Files that others may hold open for a moment: the companion extension's
// host reading the status, a scanner opening every new file, a user reading
// the working directory. Replacing or overwriting a file that someone has
// open fails with a sharing violation, or access denied when the file
// would be replaced, until they close it.
#pragma once

#include <functional>

#include "os/error_code.h"

namespace ostrel {

// Runs the attempt until it succeeds or fails with anything but
// ErrorSharingViolation or ErrorAccessDenied, pausing 20 milliseconds after
// each of those two, for about two seconds in all; returns how the last
// attempt ended. A brief reader costs a pause; one that holds the file
// longer still makes the caller fail with the last code.
os::Failure RetryWhileInUse(const std::function<os::Failure()>& attempt);

}  // namespace ostrel
