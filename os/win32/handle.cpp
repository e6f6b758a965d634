#include "os/handle.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {

void CloseHandle(std::uintptr_t handle) noexcept { ::CloseHandle(reinterpret_cast<HANDLE>(handle)); }

}  // namespace ostrel::os
