// WinHTTP in memory: scripted responses by request path, and a record of
// everything the caller asked for.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "os/error_code.h"

namespace ostrel::fake {

struct FakeHttpResponse {
  FakeHttpResponse() = default;
  FakeHttpResponse(std::uint32_t status, std::string body) : status(status), body(std::move(body)) {}

  std::uint32_t status = 200;
  std::string body;
  // A request for "bytes=N-" of a 200 body is answered as a static host
  // does: 206, the body from N on and "bytes N-LAST/SIZE"; with
  // ignoresRanges, as a host that does not serve ranges: 200 and the whole
  // body. contentRange, when set, replaces the Content-Range of a 206.
  bool ignoresRanges = false;
  std::optional<std::u16string> contentRange;
  // The connection drops once this many bytes of the body (as sent) have
  // been read: the next read fails with ErrorWinHttpConnectionError.
  std::optional<std::size_t> dropsAfter;
  // The Retry-After header's value, when the response has one.
  std::optional<std::u16string> retryAfter;
};

struct FakeHttp {
  // Responses by request path (the object name without its query); any
  // other path is answered with 404.
  std::map<std::u16string, FakeHttpResponse> responses;
  // The most bytes one read hands out, as a server's packets would.
  std::size_t readChunk = 65536;
  // Runs before each read of the body, with the number of reads before it.
  std::function<void(std::size_t readsSoFar)> beforeRead;

  // A failure for one operation, by its WinHTTP name ("WinHttpOpen", ...).
  std::map<std::string, os::ErrorCode> failures;
  // Operations, by name, that wait on a server that never answers: each
  // runs whileStalled, then ends as a real one does, cancelled when the
  // stop event is set by then and timed out otherwise. Any waiting
  // operation started after a stop is cancelled at once.
  std::set<std::string> stalls;
  std::function<void(const std::string& operation)> whileStalled;

  // What the caller asked for.
  std::u16string userAgent;
  std::uint32_t accessType = 0;
  std::uint32_t openFlags = 0;
  std::vector<int> timeouts;
  std::u16string serverName;
  std::uint16_t serverPort = 0;
  std::vector<std::u16string> requestTargets;
  std::u16string verb;
  std::uint32_t requestFlags = 0;
  std::map<std::uint32_t, std::uint32_t> options;
  std::vector<std::u16string> sentHeaders;  // the extra headers of each request sent
  std::size_t reads = 0;
  // Each handle's kind ("session", "connection", "request") as it was
  // opened, and as it was closed.
  std::vector<std::string> opened;
  std::vector<std::string> closed;

  // The server closes the idle connections the open connection handles
  // pool: the next request on each fails once, after it was sent, with
  // ErrorWinHttpConnectionError, as a request on a connection the server
  // has closed does.
  void CloseConnectionsAtServer() {
    for (const auto& [handle, kind] : open) {
      if (kind == "connection") connectionsClosedAtServer.insert(handle);
    }
  }
  std::set<std::uintptr_t> connectionsClosedAtServer;
  std::map<std::uintptr_t, std::uintptr_t> connectionOfRequest;

  // The handles' kinds by value, while open; and the body still to read.
  std::map<std::uintptr_t, std::string> open;
  std::uintptr_t nextHandle = 0x1000;
  // The response being read: its status, Content-Range and body, and how
  // far the body has been read.
  std::uint32_t status = 0;
  std::optional<std::u16string> contentRange;
  std::optional<std::u16string> retryAfter;
  std::string body;
  std::optional<std::size_t> dropsAfter;
  std::size_t bodyOffset = 0;
};

}  // namespace ostrel::fake
