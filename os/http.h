// HTTPS requests through WinHTTP: a session, a connection to one server and
// one request on it, each an HINTERNET that the caller owns.
//
// The calls that wait on the network (the send, which also resolves the
// name, connects and negotiates TLS; the wait for the response headers;
// each read of the body) return when their operation ends or the service's
// stop event is set, whichever comes first. A stop, set before the call or
// during it, ends the call at once with ErrorWinHttpOperationCancelled; the
// request can then only be closed. Underneath, the session is asynchronous,
// so no call blocks a thread that a stop could not free.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "os/error_code.h"
#include "os/owned_value.h"

namespace ostrel::os {

inline constexpr std::uint32_t WinHttpAccessTypeAutomaticProxy = 4;
inline constexpr std::uint32_t WinHttpFlagSecure = 0x00800000;
inline constexpr std::uint32_t WinHttpOptionRedirectPolicy = 88;
inline constexpr std::uint32_t WinHttpOptionRedirectPolicyNever = 0;
inline constexpr std::uint32_t WinHttpQueryStatusCode = 19;
inline constexpr std::uint32_t WinHttpQueryContentRange = 53;
inline constexpr std::uint32_t WinHttpQueryRetryAfter = 36;
inline constexpr std::uint32_t WinHttpQueryFlagNumber = 0x20000000;
inline constexpr std::uint16_t InternetDefaultHttpsPort = 443;
inline constexpr std::uint32_t HttpStatusOk = 200;
inline constexpr std::uint32_t HttpStatusPartialContent = 206;

inline constexpr ErrorCode ErrorWinHttpTimeout = 12002;
inline constexpr ErrorCode ErrorWinHttpOperationCancelled = 12017;
inline constexpr ErrorCode ErrorWinHttpConnectionError = 12030;
inline constexpr ErrorCode ErrorWinHttpHeaderNotFound = 12150;
inline constexpr ErrorCode ErrorWinHttpSecureChannelError = 12157;
inline constexpr ErrorCode ErrorWinHttpSecureFailure = 12175;

// WinHttpCloseHandle. A failure is dropped: nothing can be done about it.
void WinHttpCloseHandle(std::uintptr_t handle) noexcept;

// The owner of an HINTERNET.
using InternetHandle = OwnedValue<WinHttpCloseHandle>;

// WinHttpOpen(userAgent, accessType, no proxy name, no bypass list, flags),
// made asynchronous underneath whatever the flags say.
[[nodiscard]] Failure WinHttpOpen(std::u16string_view userAgent, std::uint32_t accessType, std::uint32_t flags,
                                  InternetHandle& session);

// WinHttpSetTimeouts, in milliseconds.
[[nodiscard]] Failure WinHttpSetTimeouts(const InternetHandle& handle, int resolveTimeout, int connectTimeout,
                                         int sendTimeout, int receiveTimeout);

// WinHttpConnect(session, serverName, serverPort, 0).
[[nodiscard]] Failure WinHttpConnect(const InternetHandle& session, std::u16string_view serverName,
                                     std::uint16_t serverPort, InternetHandle& connection);

// WinHttpOpenRequest with the default HTTP version, no referrer and the
// default accept types.
[[nodiscard]] Failure WinHttpOpenRequest(const InternetHandle& connection, std::u16string_view verb,
                                         std::u16string_view objectName, std::uint32_t flags, InternetHandle& request);

// WinHttpSetOption with a DWORD value.
[[nodiscard]] Failure WinHttpSetOption(const InternetHandle& handle, std::uint32_t option, std::uint32_t value);

// WinHttpSendRequest with the extra headers (their length computed by the
// system) and no request body; waits until it is sent (or a stop).
[[nodiscard]] Failure WinHttpSendRequest(const InternetHandle& request, std::u16string_view headers);

// WinHttpReceiveResponse: waits for the response headers (or a stop).
[[nodiscard]] Failure WinHttpReceiveResponse(const InternetHandle& request);

// WinHttpQueryHeaders of one header as a number (infoLevel carries
// WinHttpQueryFlagNumber).
[[nodiscard]] Failure WinHttpQueryHeaders(const InternetHandle& request, std::uint32_t infoLevel,
                                          std::uint32_t& number);

// WinHttpQueryHeaders of one header as text; ErrorWinHttpHeaderNotFound
// when the response has none.
[[nodiscard]] Failure WinHttpQueryHeaderText(const InternetHandle& request, std::uint32_t infoLevel,
                                             std::u16string& text);

// WinHttpReadData into the buffer, waiting for data (or a stop); bytesRead
// 0 means the body has ended.
[[nodiscard]] Failure WinHttpReadData(const InternetHandle& request, std::span<char> buffer, std::uint32_t& bytesRead);

}  // namespace ostrel::os
