// One GET of a file of the update feed over HTTPS, to the fixed update
// server. Nothing received is trusted here: the caller verifies it. This
// makes sure only that the request goes to the fixed server, is neither
// redirected nor answered by a cache, that a body stays within its limit,
// and that a stop of the service ends it at once.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "os/http.h"

namespace ostrel {

// Sent with every feed request.
inline constexpr std::u16string_view FeedUserAgent = u"Ostrel Native Updater/1";

class FeedRequest {
 public:
  // Sends the GET for "/updates/native/<fileName>" to the update server,
  // port 443, asking for the bytes from firstByte on when it is set, and
  // returns once the response headers have arrived. The name may hold only
  // ASCII letters, digits, "." and "-" ("Invalid fixed-feed filename").
  // Raises std::runtime_error with the step that failed, and with "Update
  // check canceled" when the service is told to stop meanwhile.
  FeedRequest(std::u16string_view fileName, std::optional<std::uint64_t> firstByte);

  std::uint32_t Status() const;
  // The Content-Range header's value, or empty when the response has none.
  std::u16string ContentRange() const;

  // Reads the body to its end, handing each piece to the sink as it
  // arrives. A body longer than byteLimit bytes fails with "Update response
  // exceeds its signed limit" before the sink sees the piece that crossed
  // it; exactly byteLimit is accepted.
  void ReadBody(std::uint64_t byteLimit, const std::function<void(std::span<const char>)>& sink);

 private:
  // Destroyed in reverse order: the request closes before its connection,
  // the connection before the session.
  os::InternetHandle session_;
  os::InternetHandle connection_;
  os::InternetHandle request_;
};

}  // namespace ostrel
