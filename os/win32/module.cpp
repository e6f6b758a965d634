#include "os/module.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {

Failure GetModuleFileName(std::span<char16_t> buffer, std::uint32_t& length) {
  length = ::GetModuleFileNameW(nullptr, win32::Wide(buffer.data()), static_cast<DWORD>(buffer.size()));
  return win32::FailureUnless(length != 0);
}

}  // namespace ostrel::os
