#include "os/sleep.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {

void Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace ostrel::os
