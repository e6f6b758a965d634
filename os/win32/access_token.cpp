#include "os/access_token.h"

#include <vector>

#include "os/win32/sid_buffer.h"
#include "os/win32/windows_api.h"

namespace ostrel::os {

Failure OpenProcessToken(std::uint32_t desiredAccess, Handle& token) {
  HANDLE opened = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), desiredAccess, &opened)) return ::GetLastError();
  token = Handle(reinterpret_cast<std::uintptr_t>(opened));
  return std::nullopt;
}

Failure GetTokenUser(const Handle& token, Sid& user) {
  HANDLE tokenHandle = reinterpret_cast<HANDLE>(token.value());
  DWORD size = 0;
  ::GetTokenInformation(tokenHandle, TokenUser, nullptr, 0, &size);
  // A reported size of 0 leaves no buffer, and the second call fails.
  std::vector<std::uint8_t> buffer(size);
  if (!::GetTokenInformation(tokenHandle, TokenUser, buffer.empty() ? nullptr : buffer.data(), size, &size)) {
    return ::GetLastError();
  }
  user = win32::ReportedSid(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
  return std::nullopt;
}

Failure CheckTokenMembership(const Sid& group, bool& isMember) {
  BOOL member = FALSE;
  if (!::CheckTokenMembership(nullptr, win32::SidPointer(group), &member)) return ::GetLastError();
  isMember = member != FALSE;
  return std::nullopt;
}

}  // namespace ostrel::os
