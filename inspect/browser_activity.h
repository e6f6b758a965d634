// Whether a process is running right now whose executable image is a given
// file. A process counts only when its full image path is that file, and
// only when it can be opened and asked; what the caller cannot see of other
// users' processes does not count.
#pragma once

#include <string_view>

namespace ostrel {

// True when a running process's image is imagePath, compared with SamePath.
// Raises std::runtime_error "List browser processes" or "Read browser
// process list", with the code, when the process list cannot be taken.
bool IsImageRunning(std::u16string_view imagePath);

// IsImageRunning for BrowserExecutablePath.
bool IsBrowserRunning();

}  // namespace ostrel
