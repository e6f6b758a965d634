#include "os/handle.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {

void CloseHandle(std::uintptr_t handle) noexcept { fake::Machine().handles.Close(handle); }

}  // namespace ostrel::os
