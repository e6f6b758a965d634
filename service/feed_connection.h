// The service's way to the update server: one WinHTTP session and one
// connection to the fixed server, kept for as long as the service runs.
// WinHTTP pools the TCP connection, and its TLS session, within the session
// handle, so every request of every pass travels on the connection the first
// one opened, instead of a new connection and TLS handshake per request.
#pragma once

#include <string_view>

#include "os/http.h"

namespace ostrel {

// Sent with every feed request.
inline constexpr std::u16string_view FeedUserAgent = u"Ostrel Native Updater/1";

class FeedConnection {
 public:
  // The connection handle to the update server, port 443, opening the
  // session (automatic proxy, the feed's timeouts) and the connection when
  // none is open. Raises std::runtime_error "Open update connection" or
  // "Connect update server" with the system's code.
  const os::InternetHandle& Handle();

  // True once a request on the open connection has had its response: a
  // failure of the next one may only mean that the server closed the idle
  // connection meanwhile.
  bool HasAnswered() const { return answered_; }
  void MarkAnswered() { answered_ = true; }

  // Closes the connection and the session, so the next request opens new
  // ones (and WinHTTP a new TCP connection). No request may be open on it.
  void Reopen();

 private:
  // Destroyed in reverse order: the connection before the session.
  os::InternetHandle session_;
  os::InternetHandle connection_;
  bool answered_ = false;
};

}  // namespace ostrel
