// One GET of a file of the update feed over HTTPS, to the fixed update
// server, on the service's kept connection. Nothing received is trusted
// here: the caller verifies it. This makes sure only that the request goes
// to the fixed server, is neither redirected nor answered by a cache, that a
// body stays within its limit, and that a stop of the service ends it at
// once.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "os/http.h"
#include "service/feed_connection.h"

namespace ostrel {

// A refused status with which the server said when to ask again (a 429 or
// 503 with Retry-After): the next check waits that long.
class RetryLaterFailure : public std::runtime_error {
 public:
  RetryLaterFailure(const char* message, std::uint64_t waitMilliseconds)
      : std::runtime_error(message), waitMilliseconds_(waitMilliseconds) {}
  std::uint64_t WaitMilliseconds() const { return waitMilliseconds_; }

 private:
  std::uint64_t waitMilliseconds_;
};

class FeedRequest {
 public:
  // Sends the GET for "/updates/native/<fileName>" on the connection,
  // asking for the bytes from firstByte on when it is set, and returns once
  // the response headers have arrived. The name may hold only ASCII
  // letters, digits, "." and "-" ("Invalid fixed-feed filename"). When the
  // request fails on a connection that has answered before (the server may
  // have closed it while it was idle), it is sent once more on a new one.
  // Raises std::runtime_error with the step that failed, and with "Update
  // check canceled" when the service is told to stop meanwhile.
  FeedRequest(FeedConnection& connection, std::u16string_view fileName, std::optional<std::uint64_t> firstByte);

  std::uint32_t Status() const;
  // The Content-Range header's value, or empty when the response has none.
  std::u16string ContentRange() const;
  // Raises "Update server returned a non-success response" unless the
  // status is one of those accepted: as a RetryLaterFailure when it is 429
  // or 503 and says, in Retry-After, when to ask again.
  void RequireStatus(std::initializer_list<std::uint32_t> accepted) const;

  // Reads the body to its end, handing each piece to the sink as it
  // arrives. A body longer than byteLimit bytes fails with "Update response
  // exceeds its signed limit" before the sink sees the piece that crossed
  // it; exactly byteLimit is accepted.
  void ReadBody(std::uint64_t byteLimit, const std::function<void(std::span<const char>)>& sink);

 private:
  os::Failure Send(FeedConnection& connection, std::u16string_view fileName, std::optional<std::uint64_t> firstByte);
  std::optional<std::uint64_t> RetryAfter() const;

  os::InternetHandle request_;
};

}  // namespace ostrel
