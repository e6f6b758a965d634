// The installation report: the state of the browser installation as one line
// of JSON on standard output, and an exit code.
#pragma once

namespace ostrel {

// Returns the process exit code: 0, 10 or 11.
int RunInstallationReport();

}  // namespace ostrel
