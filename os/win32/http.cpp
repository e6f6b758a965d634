#include "os/http.h"

#include "os/win32/windows_api.h"

#include <winhttp.h>

namespace ostrel::os {
namespace {

HINTERNET Native(const InternetHandle& handle) { return reinterpret_cast<HINTERNET>(handle.value()); }

Failure TakeHandle(HINTERNET value, InternetHandle& owner) {
  if (value == nullptr) return ::GetLastError();
  owner = InternetHandle(reinterpret_cast<std::uintptr_t>(value));
  return std::nullopt;
}

}  // namespace

void WinHttpCloseHandle(std::uintptr_t handle) noexcept { ::WinHttpCloseHandle(reinterpret_cast<HINTERNET>(handle)); }

Failure WinHttpOpen(std::u16string_view userAgent, std::uint32_t accessType, std::uint32_t flags,
                    InternetHandle& session) {
  std::wstring agent = win32::WideString(userAgent);
  return TakeHandle(
      ::WinHttpOpen(agent.c_str(), accessType, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, flags), session);
}

Failure WinHttpSetTimeouts(const InternetHandle& handle, int resolveTimeout, int connectTimeout, int sendTimeout,
                           int receiveTimeout) {
  return win32::FailureUnless(
      ::WinHttpSetTimeouts(Native(handle), resolveTimeout, connectTimeout, sendTimeout, receiveTimeout));
}

Failure WinHttpConnect(const InternetHandle& session, std::u16string_view serverName, std::uint16_t serverPort,
                       InternetHandle& connection) {
  std::wstring server = win32::WideString(serverName);
  return TakeHandle(::WinHttpConnect(Native(session), server.c_str(), serverPort, 0), connection);
}

Failure WinHttpOpenRequest(const InternetHandle& connection, std::u16string_view verb, std::u16string_view objectName,
                           std::uint32_t flags, InternetHandle& request) {
  std::wstring method = win32::WideString(verb);
  std::wstring object = win32::WideString(objectName);
  return TakeHandle(::WinHttpOpenRequest(Native(connection), method.c_str(), object.c_str(), nullptr,
                                         WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags),
                    request);
}

Failure WinHttpSetOption(const InternetHandle& handle, std::uint32_t option, std::uint32_t value) {
  DWORD buffer = value;
  return win32::FailureUnless(::WinHttpSetOption(Native(handle), option, &buffer, sizeof buffer));
}

Failure WinHttpSendRequest(const InternetHandle& request, std::u16string_view headers) {
  std::wstring extra = win32::WideString(headers);
  // -1L: the headers are zero-terminated and the system measures them.
  return win32::FailureUnless(
      ::WinHttpSendRequest(Native(request), extra.c_str(), static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0, 0, 0));
}

Failure WinHttpReceiveResponse(const InternetHandle& request) {
  return win32::FailureUnless(::WinHttpReceiveResponse(Native(request), nullptr));
}

Failure WinHttpQueryHeaders(const InternetHandle& request, std::uint32_t infoLevel, std::uint32_t& number) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (!::WinHttpQueryHeaders(Native(request), infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, &value, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return ::GetLastError();
  }
  number = value;
  return std::nullopt;
}

Failure WinHttpReadData(const InternetHandle& request, std::span<char> buffer, std::uint32_t& bytesRead) {
  DWORD read = 0;
  if (!::WinHttpReadData(Native(request), buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
    return ::GetLastError();
  }
  bytesRead = read;
  return std::nullopt;
}

}  // namespace ostrel::os
