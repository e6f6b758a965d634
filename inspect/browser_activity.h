// Whether a process of a list of the running processes runs a given
// executable image. A process counts only when its full image path is that
// file, and only when it can still be opened and asked; what the caller
// cannot see of other users' processes does not count.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "inspect/process_list.h"
#include "os/handle.h"

namespace ostrel {

// Calls found with a handle to each process of the list whose image is
// imagePath (compared with SamePath), opened with the access asked for and
// the limited query right, until found returns false. Only processes whose
// bare image name matches are opened at all.
void VisitImageProcesses(const ProcessList& processes, std::u16string_view imagePath, std::uint32_t access,
                         const std::function<bool(os::Handle)>& found);

// True when a process of the list still runs imagePath.
bool IsImageRunning(const ProcessList& processes, std::u16string_view imagePath);

// IsImageRunning for BrowserExecutablePath.
bool IsBrowserRunning(const ProcessList& processes);

// Handles to the browser's processes of the list that can be waited on, at
// most the given count; empty when the browser no longer runs.
std::vector<os::Handle> OpenBrowserProcesses(const ProcessList& processes, std::size_t most);

}  // namespace ostrel
