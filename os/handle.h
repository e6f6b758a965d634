// Kernel object handles: tokens, files, processes, events.
#pragma once

#include <cstdint>

#include "os/owned_value.h"

namespace ostrel::os {

// CloseHandle. A failure is dropped: nothing can be done about it.
void CloseHandle(std::uintptr_t handle) noexcept;

// The owner of a kernel object handle.
using Handle = OwnedValue<CloseHandle>;

}  // namespace ostrel::os
