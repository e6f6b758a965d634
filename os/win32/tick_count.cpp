#include "os/tick_count.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {

std::uint64_t GetTickCount64() { return ::GetTickCount64(); }

}  // namespace ostrel::os
