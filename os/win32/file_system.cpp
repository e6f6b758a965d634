#include "os/file_system.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {

ErrorCode GetFileAttributes(std::u16string_view path, std::uint32_t& attributes) {
  DWORD result = ::GetFileAttributesW(win32::WideString(path).c_str());
  if (result == INVALID_FILE_ATTRIBUTES) return ::GetLastError();
  attributes = result;
  return ErrorSuccess;
}

}  // namespace ostrel::os
