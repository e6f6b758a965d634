#include "os/com.h"

#include "os/win32/windows_api.h"

#include <objbase.h>

namespace ostrel::os {

HResult CoInitializeEx(std::uint32_t coInit) { return ::CoInitializeEx(nullptr, coInit); }

}  // namespace ostrel::os
