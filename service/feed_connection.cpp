#include "service/feed_connection.h"

#include "build_configuration.h"
#include "foundation/failure.h"

namespace ostrel {
namespace {

constexpr int ResolveTimeoutMilliseconds = 10000;
constexpr int ConnectTimeoutMilliseconds = 10000;
constexpr int SendTimeoutMilliseconds = 15000;
constexpr int ReceiveTimeoutMilliseconds = 15000;

}  // namespace

const os::InternetHandle& FeedConnection::Handle() {
  if (connection_.value() != 0) return connection_;
  if (session_.value() == 0) {
    if (const os::Failure failure =
            os::WinHttpOpen(FeedUserAgent, os::WinHttpAccessTypeAutomaticProxy, 0, session_)) {
      RaiseLastError("Open update connection", *failure);
    }
    // Without them WinHTTP would wait far longer; a failure leaves its defaults.
    (void)os::WinHttpSetTimeouts(session_, ResolveTimeoutMilliseconds, ConnectTimeoutMilliseconds,
                                 SendTimeoutMilliseconds, ReceiveTimeoutMilliseconds);
  }
  if (const os::Failure failure =
          os::WinHttpConnect(session_, UpdateServerHost, os::InternetDefaultHttpsPort, connection_)) {
    RaiseLastError("Connect update server", *failure);
  }
  return connection_;
}

void FeedConnection::Reopen() {
  connection_ = os::InternetHandle();
  session_ = os::InternetHandle();
  answered_ = false;
}

}  // namespace ostrel
