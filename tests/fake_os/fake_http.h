// WinHTTP in memory: scripted responses by request path, and a record of
// everything the caller asked for.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "os/error_code.h"

namespace ostrel::fake {

struct FakeHttpResponse {
  std::uint32_t status = 200;
  std::string body;
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
  std::u16string headers;
  std::size_t reads = 0;
  // Each handle's kind ("session", "connection", "request") as it was closed.
  std::vector<std::string> closed;

  // The handles' kinds by value, while open; and the body still to read.
  std::map<std::uintptr_t, std::string> open;
  std::uintptr_t nextHandle = 0x1000;
  const FakeHttpResponse* response = nullptr;
  std::size_t bodyOffset = 0;
};

}  // namespace ostrel::fake
