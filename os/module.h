// The running executable's own image.
#pragma once

#include <string>

#include "os/error_code.h"

namespace ostrel::os {

// GetModuleFileNameW for the process's executable, grown until the whole
// path fits.
[[nodiscard]] ErrorCode GetModuleFileName(std::u16string& path);

}  // namespace ostrel::os
