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

void WriteStandardError(std::string_view bytes) { WriteAll(STD_ERROR_HANDLE, bytes); }

Failure ReadFileFromStandardInput(std::span<char> buffer, std::uint32_t& bytesRead) {
  DWORD read = 0;
  if (!::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                  nullptr)) {
    return ::GetLastError();
  }
  bytesRead = read;
  return std::nullopt;
}

Failure WriteFileToStandardOutput(std::span<const char> bytes, std::uint32_t& bytesWritten) {
  DWORD written = 0;
  if (!::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr)) {
    return ::GetLastError();
  }
  bytesWritten = written;
  return std::nullopt;
}

}  // namespace ostrel::os
