#include "os/http.h"

#include <algorithm>
#include <cstring>

#include "fake_os/fake_machine.h"

namespace ostrel::os {
namespace {

fake::FakeHttp& Http() { return fake::Machine().http; }

Failure InjectedFailure(const char* operation) {
  auto failure = Http().failures.find(operation);
  if (failure == Http().failures.end()) return std::nullopt;
  return failure->second;
}

Failure OpenHandle(const char* operation, const char* kind, InternetHandle& handle) {
  if (const Failure error = InjectedFailure(operation)) return error;
  std::uintptr_t value = Http().nextHandle++;
  Http().open[value] = kind;
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

Failure WinHttpOpenRequest(const InternetHandle&, std::u16string_view verb, std::u16string_view objectName,
                           std::uint32_t flags, InternetHandle& request) {
  Http().verb = verb;
  Http().requestTargets.emplace_back(objectName);
  Http().requestFlags = flags;
  return OpenHandle("WinHttpOpenRequest", "request", request);
}

Failure WinHttpSetOption(const InternetHandle&, std::uint32_t option, std::uint32_t value) {
  if (const Failure error = InjectedFailure("WinHttpSetOption")) return error;
  Http().options[option] = value;
  return std::nullopt;
}

Failure WinHttpSendRequest(const InternetHandle&, std::u16string_view headers) {
  Http().headers = headers;
  return InjectedFailure("WinHttpSendRequest");
}

Failure WinHttpReceiveResponse(const InternetHandle&) {
  if (const Failure error = InjectedFailure("WinHttpReceiveResponse")) return error;
  std::u16string_view target = Http().requestTargets.back();
  auto response = Http().responses.find(std::u16string(target.substr(0, target.find(u'?'))));
  static const fake::FakeHttpResponse notFound{404, "not found"};
  Http().response = response == Http().responses.end() ? &notFound : &response->second;
  Http().bodyOffset = 0;
  return std::nullopt;
}

Failure WinHttpQueryHeaders(const InternetHandle&, std::uint32_t infoLevel, std::uint32_t& number) {
  if (const Failure error = InjectedFailure("WinHttpQueryHeaders")) return error;
  if (infoLevel != (WinHttpQueryStatusCode | WinHttpQueryFlagNumber)) return ErrorWinHttpHeaderNotFound;
  number = Http().response->status;
  return std::nullopt;
}

Failure WinHttpReadData(const InternetHandle&, std::span<char> buffer, std::uint32_t& bytesRead) {
  if (Http().beforeRead) Http().beforeRead(Http().reads);
  ++Http().reads;
  if (const Failure error = InjectedFailure("WinHttpReadData")) return error;
  const std::string& body = Http().response->body;
  std::size_t count = std::min({buffer.size(), Http().readChunk, body.size() - Http().bodyOffset});
  std::memcpy(buffer.data(), body.data() + Http().bodyOffset, count);
  Http().bodyOffset += count;
  bytesRead = static_cast<std::uint32_t>(count);
  return std::nullopt;
}

}  // namespace ostrel::os
