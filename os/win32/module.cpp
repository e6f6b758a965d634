#include "os/module.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {

ErrorCode GetModuleFileName(std::u16string& path) {
  // The result is truncated, not failed, when the buffer is too small: grow
  // until the returned length leaves room for the terminator.
  std::u16string buffer(MAX_PATH, u'\0');
  for (;;) {
    DWORD length = ::GetModuleFileNameW(nullptr, win32::Wide(buffer.data()), static_cast<DWORD>(buffer.size()));
    if (length == 0) return ::GetLastError();
    if (length < buffer.size()) {
      buffer.resize(length);
      path = std::move(buffer);
      return ErrorSuccess;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace ostrel::os
