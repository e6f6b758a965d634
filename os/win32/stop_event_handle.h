// The stop event's handle, for the Win32 calls that wait on it together with
// an operation of their own.
#pragma once

#include "os/win32/windows_api.h"

namespace ostrel::os::win32 {

// The event the service host created, or nullptr in every other role.
HANDLE StopEventHandle();

}  // namespace ostrel::os::win32
