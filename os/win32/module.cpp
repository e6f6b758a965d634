#include "os/module.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {

ErrorCode GetModuleFileName(std::span<char16_t> buffer, std::uint32_t& length) {
  length = ::GetModuleFileNameW(nullptr, win32::Wide(buffer.data()), static_cast<DWORD>(buffer.size()));
  return length == 0 ? ::GetLastError() : ErrorSuccess;
}

}  // namespace ostrel::os
