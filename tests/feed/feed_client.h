// Requests to the local test feed through the os/ WinHTTP calls, for the
// tests that run under Wine against tests/feed/feed_server.py.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "os/http.h"

namespace ostrel::test {

// One GET over TLS to localhost:443 with the session, connection and
// request handles open.
struct FeedRequest {
  explicit FeedRequest(std::u16string_view target);

  // Sends the request and waits for the response headers.
  os::Failure Send();
  std::uint32_t Status();
  // Reads the whole body; a failed read fails the test.
  std::string ReadBody();

  // The next TLS handshake of the server presents a certificate that no
  // trusted authority issued.
  static void PresentUntrustedCertificateNext();

  os::InternetHandle session;
  os::InternetHandle connection;
  os::InternetHandle request;
};

// The bytes the server synthesises for "bytes-N" and the like.
std::string FeedPattern(std::size_t count);

// The server's record of the feed requests so far, as its JSON text.
std::string RecordedFeedRequests();

}  // namespace ostrel::test
