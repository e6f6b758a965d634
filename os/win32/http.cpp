#include "os/http.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "os/stop_event.h"
#include "os/win32/stop_event_handle.h"
#include "os/win32/windows_api.h"

#include <winhttp.h>

namespace ostrel::os {
namespace {

// What one request's asynchronous operations share with WinHTTP's callback,
// which runs on a thread of WinHTTP's. A call starts an operation and waits
// for its completion or the stop event; an operation abandoned for a stop
// may still complete later, into this state and never into the caller's
// memory. The state therefore lives until WinHTTP reports the request's
// handle closing, its last callback for the request.
struct RequestState {
  HANDLE completed = nullptr;  // auto-reset: set once per finished operation
  DWORD error = ERROR_SUCCESS;
  DWORD bytesRead = 0;
  std::array<char, 65536> buffer{};
};

HINTERNET Native(const InternetHandle& handle) { return reinterpret_cast<HINTERNET>(handle.value()); }

Failure TakeHandle(HINTERNET value, InternetHandle& owner) {
  if (value == nullptr) return ::GetLastError();
  owner = InternetHandle(reinterpret_cast<std::uintptr_t>(value));
  return std::nullopt;
}

void Complete(RequestState& state, DWORD error, DWORD bytesRead) {
  state.error = error;
  state.bytesRead = bytesRead;
  ::SetEvent(state.completed);
}

void CALLBACK OnRequestEvent(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information, DWORD length) {
  // The session and the connection carry no state.
  auto* state = reinterpret_cast<RequestState*>(context);
  if (state == nullptr) return;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      Complete(*state, ERROR_SUCCESS, 0);
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      Complete(*state, ERROR_SUCCESS, length);
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      Complete(*state, static_cast<WINHTTP_ASYNC_RESULT*>(information)->dwError, 0);
      break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      ::CloseHandle(state->completed);
      delete state;
      break;
    default:
      break;
  }
}

// The state WinHttpOpenRequest gave the request, or nullptr.
RequestState* StateOf(const InternetHandle& request) {
  DWORD_PTR context = 0;
  DWORD size = sizeof context;
  if (!::WinHttpQueryOption(Native(request), WINHTTP_OPTION_CONTEXT_VALUE, &context, &size)) return nullptr;
  return reinterpret_cast<RequestState*>(context);
}

// Starts one operation of the request and waits for its completion, or for
// the stop event, which abandons it. The stop comes first in the wait, so a
// stop set before the call or during it wins over an operation that
// completed too: the wait itself is the stop's test, with no extra call to
// the system for each of a download's thousands of reads.
template <typename Start>
Failure Await(const InternetHandle& request, Start start) {
  RequestState* state = StateOf(request);
  if (state == nullptr) return ERROR_INVALID_HANDLE;
  if (!start(*state)) return ::GetLastError();
  const HANDLE stop = win32::StopEventHandle();
  const HANDLE both[] = {stop, state->completed};
  const std::span<const HANDLE> events = stop == nullptr ? std::span(both).last(1) : std::span(both);
  const DWORD waited = ::WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, INFINITE);
  if (waited == WAIT_FAILED) return ::GetLastError();
  if (events[waited - WAIT_OBJECT_0] == stop) return ErrorWinHttpOperationCancelled;
  return state->error == ERROR_SUCCESS ? Failure() : Failure(state->error);
}

}  // namespace

void WinHttpCloseHandle(std::uintptr_t handle) noexcept { ::WinHttpCloseHandle(reinterpret_cast<HINTERNET>(handle)); }

Failure WinHttpOpen(std::u16string_view userAgent, std::uint32_t accessType, std::uint32_t flags,
                    InternetHandle& session) {
  std::wstring agent = win32::WideString(userAgent);
  if (const Failure failure = TakeHandle(::WinHttpOpen(agent.c_str(), accessType, WINHTTP_NO_PROXY_NAME,
                                                       WINHTTP_NO_PROXY_BYPASS, flags | WINHTTP_FLAG_ASYNC),
                                         session)) {
    return failure;
  }
  // Connections and requests made from the session inherit the callback.
  if (::WinHttpSetStatusCallback(Native(session), OnRequestEvent,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
    const DWORD error = ::GetLastError();
    session = InternetHandle();
    return error;
  }
  return std::nullopt;
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
  HINTERNET opened = ::WinHttpOpenRequest(Native(connection), method.c_str(), object.c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
  if (const Failure failure = TakeHandle(opened, request)) return failure;
  auto* state = new RequestState;
  state->completed = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(state);
  if (state->completed == nullptr || !::WinHttpSetOption(opened, WINHTTP_OPTION_CONTEXT_VALUE, &context,
                                                         sizeof context)) {
    const DWORD error = ::GetLastError();
    // Closed without its state, the handle's last callback frees nothing.
    request = InternetHandle();
    if (state->completed != nullptr) ::CloseHandle(state->completed);
    delete state;
    return error;
  }
  return std::nullopt;
}

Failure WinHttpSetOption(const InternetHandle& handle, std::uint32_t option, std::uint32_t value) {
  DWORD buffer = value;
  return win32::FailureUnless(::WinHttpSetOption(Native(handle), option, &buffer, sizeof buffer));
}

Failure WinHttpSendRequest(const InternetHandle& request, std::u16string_view headers) {
  // Once the service is stopping nothing more goes to the server.
  if (IsStopEventSet()) return ErrorWinHttpOperationCancelled;
  std::wstring extra = win32::WideString(headers);
  // -1L: the headers are zero-terminated and the system measures them. The
  // context argument keeps the request's state as its context.
  return Await(request, [&](RequestState& state) {
    return ::WinHttpSendRequest(Native(request), extra.c_str(), static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0,
                                0, reinterpret_cast<DWORD_PTR>(&state));
  });
}

Failure WinHttpReceiveResponse(const InternetHandle& request) {
  return Await(request, [&](RequestState&) { return ::WinHttpReceiveResponse(Native(request), nullptr); });
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

Failure WinHttpQueryHeaderText(const InternetHandle& request, std::uint32_t infoLevel, std::u16string& text) {
  // A header's length is asked first; the call fails with
  // ERROR_INSUFFICIENT_BUFFER and says how many bytes it needs.
  DWORD size = 0;
  if (!::WinHttpQueryHeaders(Native(request), infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                             &size, WINHTTP_NO_HEADER_INDEX) &&
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return ::GetLastError();
  }
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (!::WinHttpQueryHeaders(Native(request), infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return ::GetLastError();
  }
  value.resize(size / sizeof(wchar_t));
  text.assign(win32::Portable(value.c_str()), value.size());
  return std::nullopt;
}

Failure WinHttpReadData(const InternetHandle& request, std::span<char> buffer, std::uint32_t& bytesRead) {
  RequestState* read = nullptr;
  // Asynchronous reads land in the request's state and report their count
  // through the callback alone.
  if (const Failure failure = Await(request, [&](RequestState& state) {
        read = &state;
        const DWORD wanted = static_cast<DWORD>(std::min(buffer.size(), state.buffer.size()));
        return ::WinHttpReadData(Native(request), state.buffer.data(), wanted, nullptr);
      })) {
    return failure;
  }
  std::memcpy(buffer.data(), read->buffer.data(), read->bytesRead);
  bytesRead = read->bytesRead;
  return std::nullopt;
}

}  // namespace ostrel::os
