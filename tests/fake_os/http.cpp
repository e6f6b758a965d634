#include "os/http.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "fake_os/fake_machine.h"

namespace ostrel::os {
namespace {

using fake::Machine;

fake::FakeHttp& Http() { return fake::Machine().http; }

Failure InjectedFailure(const char* operation) {
  auto failure = Http().failures.find(operation);
  if (failure == Http().failures.end()) return std::nullopt;
  return failure->second;
}

// A call that waits on the server: cancelled by a stop, or stalled until a
// stop or the timeout ends it.
Failure Wait(const char* operation) {
  if (Machine().stopEvent.value_or(false)) return ErrorWinHttpOperationCancelled;
  if (!Http().stalls.contains(operation)) return InjectedFailure(operation);
  if (Http().whileStalled) Http().whileStalled(operation);
  return Machine().stopEvent.value_or(false) ? ErrorWinHttpOperationCancelled : ErrorWinHttpTimeout;
}

// The first byte a "Range: bytes=N-" header among the request's headers
// asks for.
std::optional<std::size_t> RangeStart(std::u16string_view headers) {
  constexpr std::u16string_view prefix = u"Range: bytes=";
  const std::size_t at = headers.find(prefix);
  if (at == std::u16string_view::npos) return std::nullopt;
  std::size_t start = 0;
  for (std::size_t index = at + prefix.size(); index < headers.size() && headers[index] != u'-'; ++index) {
    start = start * 10 + (headers[index] - u'0');
  }
  return start;
}

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

Failure OpenHandle(const char* operation, const char* kind, InternetHandle& handle) {
  if (const Failure error = InjectedFailure(operation)) return error;
  std::uintptr_t value = Http().nextHandle++;
  Http().open[value] = kind;
  Http().opened.push_back(kind);
  handle = InternetHandle(value);
  return std::nullopt;
}

}  // namespace

void WinHttpCloseHandle(std::uintptr_t handle) noexcept {
  auto open = Http().open.find(handle);
  if (open == Http().open.end()) return;  // the machine was reset under its owner
  Http().closed.push_back(open->second);
  Http().open.erase(open);
}

Failure WinHttpOpen(std::u16string_view userAgent, std::uint32_t accessType, std::uint32_t flags,
                    InternetHandle& session) {
  Http().userAgent = userAgent;
  Http().accessType = accessType;
  Http().openFlags = flags;
  return OpenHandle("WinHttpOpen", "session", session);
}

Failure WinHttpSetTimeouts(const InternetHandle&, int resolveTimeout, int connectTimeout, int sendTimeout,
                           int receiveTimeout) {
  Http().timeouts = {resolveTimeout, connectTimeout, sendTimeout, receiveTimeout};
  return InjectedFailure("WinHttpSetTimeouts");
}

Failure WinHttpConnect(const InternetHandle&, std::u16string_view serverName, std::uint16_t serverPort,
                       InternetHandle& connection) {
  Http().serverName = serverName;
  Http().serverPort = serverPort;
  return OpenHandle("WinHttpConnect", "connection", connection);
}

Failure WinHttpOpenRequest(const InternetHandle& connection, std::u16string_view verb, std::u16string_view objectName,
                           std::uint32_t flags, InternetHandle& request) {
  Http().verb = verb;
  Http().requestTargets.emplace_back(objectName);
  Http().requestFlags = flags;
  if (const Failure error = OpenHandle("WinHttpOpenRequest", "request", request)) return error;
  Http().connectionOfRequest[request.value()] = connection.value();
  return std::nullopt;
}

Failure WinHttpSetOption(const InternetHandle&, std::uint32_t option, std::uint32_t value) {
  if (const Failure error = InjectedFailure("WinHttpSetOption")) return error;
  Http().options[option] = value;
  return std::nullopt;
}

Failure WinHttpSendRequest(const InternetHandle&, std::u16string_view headers) {
  if (const Failure error = Wait("WinHttpSendRequest")) return error;
  Http().sentHeaders.emplace_back(headers);
  return std::nullopt;
}

Failure WinHttpReceiveResponse(const InternetHandle& request) {
  if (const Failure error = Wait("WinHttpReceiveResponse")) return error;
  if (Http().connectionsClosedAtServer.erase(Http().connectionOfRequest[request.value()]) > 0) {
    return ErrorWinHttpConnectionError;
  }
  std::u16string_view target = Http().requestTargets.back();
  auto found = Http().responses.find(std::u16string(target.substr(0, target.find(u'?'))));
  const fake::FakeHttpResponse notFound(404, "not found");
  const fake::FakeHttpResponse& response = found == Http().responses.end() ? notFound : found->second;
  Http().status = response.status;
  Http().body = response.body;
  Http().contentRange.reset();
  Http().retryAfter = response.retryAfter;
  Http().dropsAfter = response.dropsAfter;
  Http().bodyOffset = 0;
  const std::optional<std::size_t> start = RangeStart(Http().sentHeaders.back());
  if (start && response.status == HttpStatusOk && !response.ignoresRanges) {
    const std::size_t size = response.body.size();
    Http().status = HttpStatusPartialContent;
    Http().body = response.body.substr(std::min(*start, size));
    Http().contentRange = response.contentRange.value_or(
        Utf16("bytes " + std::to_string(*start) + "-" + std::to_string(size - 1) + "/" + std::to_string(size)));
  }
  return std::nullopt;
}

Failure WinHttpQueryHeaders(const InternetHandle&, std::uint32_t infoLevel, std::uint32_t& number) {
  if (const Failure error = InjectedFailure("WinHttpQueryHeaders")) return error;
  if (infoLevel != (WinHttpQueryStatusCode | WinHttpQueryFlagNumber)) return ErrorWinHttpHeaderNotFound;
  number = Http().status;
  return std::nullopt;
}

Failure WinHttpQueryHeaderText(const InternetHandle&, std::uint32_t infoLevel, std::u16string& text) {
  if (const Failure error = InjectedFailure("WinHttpQueryHeaderText")) return error;
  const std::optional<std::u16string>& header = infoLevel == WinHttpQueryContentRange ? Http().contentRange
                                                 : infoLevel == WinHttpQueryRetryAfter  ? Http().retryAfter
                                                                                        : std::nullopt;
  if (!header) return ErrorWinHttpHeaderNotFound;
  text = *header;
  return std::nullopt;
}

Failure WinHttpReadData(const InternetHandle&, std::span<char> buffer, std::uint32_t& bytesRead) {
  if (Http().beforeRead) Http().beforeRead(Http().reads);
  ++Http().reads;
  if (const Failure error = Wait("WinHttpReadData")) return error;
  if (Http().dropsAfter && Http().bodyOffset >= *Http().dropsAfter) return ErrorWinHttpConnectionError;
  const std::size_t end = std::min(Http().body.size(), Http().dropsAfter.value_or(SIZE_MAX));
  std::size_t count = std::min({buffer.size(), Http().readChunk, end - Http().bodyOffset});
  std::memcpy(buffer.data(), Http().body.data() + Http().bodyOffset, count);
  Http().bodyOffset += count;
  bytesRead = static_cast<std::uint32_t>(count);
  return std::nullopt;
}

}  // namespace ostrel::os
