// The processes running at one moment, as one Toolhelp snapshot lists them:
// each one's id and bare image name. A snapshot costs far more than asking
// the few processes whose name matches, so one list serves every question a
// moment asks (is the browser running, is a worker starting).
#pragma once

#include <vector>

#include "os/process_snapshot.h"

namespace ostrel {

using ProcessList = std::vector<os::ProcessEntry>;

// Takes a snapshot and reads its entries; a later entry that cannot be read
// ends the list. Raises std::runtime_error "List browser processes" or
// "Read browser process list", with the code, when the snapshot cannot be
// taken or its first entry read.
ProcessList ListProcesses();

}  // namespace ostrel
