// Whether a process is running right now whose executable image is a given
// file. A process counts only when its full image path is that file, and
// only when it can be opened and asked; what the caller cannot see of other
// users' processes does not count.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "os/handle.h"

namespace ostrel {

// Calls found with a handle to each running process whose image is
// imagePath (compared with SamePath), opened with the access asked for and
// the limited query right, until found returns false. Raises
// std::runtime_error "List browser processes" or "Read browser process
// list", with the code, when the process list cannot be taken.
void VisitImageProcesses(std::u16string_view imagePath, std::uint32_t access,
                         const std::function<bool(os::Handle)>& found);

// True when a running process's image is imagePath; fails as
// VisitImageProcesses.
bool IsImageRunning(std::u16string_view imagePath);

// IsImageRunning for BrowserExecutablePath.
bool IsBrowserRunning();

// Handles to the browser's running processes that can be waited on, at most
// the given count; fails as VisitImageProcesses.
std::vector<os::Handle> OpenBrowserProcesses(std::size_t most);

}  // namespace ostrel
