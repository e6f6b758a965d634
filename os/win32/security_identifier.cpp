#include "os/security_identifier.h"

#include <memory>

#include "os/win32/sid_buffer.h"
#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

struct LocalFreeDeleter {
  void operator()(void* memory) const noexcept { ::LocalFree(memory); }
};

}  // namespace

bool IsWellKnownSid(const Sid& sid, WellKnownSidType type) {
  return ::IsWellKnownSid(win32::SidPointer(sid), static_cast<WELL_KNOWN_SID_TYPE>(type));
}

Failure CreateWellKnownSid(WellKnownSidType type, Sid& sid) {
  std::vector<std::uint8_t> buffer(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(buffer.size());
  if (!::CreateWellKnownSid(static_cast<WELL_KNOWN_SID_TYPE>(type), nullptr, buffer.data(), &size)) {
    return ::GetLastError();
  }
  buffer.resize(size);
  sid.bytes = std::move(buffer);
  return std::nullopt;
}

Failure ConvertStringSidToSid(std::u16string_view text, Sid& sid) {
  PSID converted = nullptr;
  if (!::ConvertStringSidToSidW(win32::WideString(text).c_str(), &converted)) return ::GetLastError();
  std::unique_ptr<void, LocalFreeDeleter> owned(converted);
  sid = win32::CopySid(converted);
  return std::nullopt;
}

bool EqualSid(const Sid& first, const Sid& second) {
  return ::EqualSid(win32::SidPointer(first), win32::SidPointer(second));
}

}  // namespace ostrel::os
