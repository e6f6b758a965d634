// The installation report: the state of the browser installation as one line
// of JSON on standard output, and an exit code that says the same. It
// changes nothing; what it cannot vouch for (an installation ordinary users
// could have altered, a legacy installation half there or registered
// otherwise) fails the report instead.
#pragma once

namespace ostrel {

// Writes {"readOnly":true,"legacy":...,"running":...} and a newline to
// standard output and returns 10 when something runs, else 11 when a legacy
// installation is present, else 0. Raises on every failure, before anything
// is written, except the write itself: a failed or short write raises
// "Write installation report" (with the system's code when the write
// failed), so the exit code is never one of the report's.
int RunInstallationReport();

}  // namespace ostrel
