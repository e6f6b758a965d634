#include "os/standard_streams.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

void WriteAll(DWORD standardHandle, std::string_view bytes) {
  HANDLE stream = ::GetStdHandle(standardHandle);
  if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return;
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!::WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0) {
      return;
    }
    bytes.remove_prefix(written);
  }
}

}  // namespace

void WriteStandardOutput(std::string_view bytes) { WriteAll(STD_OUTPUT_HANDLE, bytes); }

void WriteStandardError(std::string_view bytes) { WriteAll(STD_ERROR_HANDLE, bytes); }

}  // namespace ostrel::os
