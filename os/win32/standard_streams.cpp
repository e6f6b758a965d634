#include "os/standard_streams.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {

void WriteStandardError(std::string_view bytes) {
  HANDLE standardError = ::GetStdHandle(STD_ERROR_HANDLE);
  if (standardError == nullptr || standardError == INVALID_HANDLE_VALUE) return;
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!::WriteFile(standardError, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written == 0) {
      return;
    }
    bytes.remove_prefix(written);
  }
}

}  // namespace ostrel::os
