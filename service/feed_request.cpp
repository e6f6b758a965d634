#include "service/feed_request.h"

#include <string>
#include <vector>

#include "foundation/failure.h"
#include "os/tick_count.h"
#include "service/retry_after.h"
#include "state/stop_request.h"
#include "state/utc_clock.h"

namespace ostrel {
namespace {

constexpr std::u16string_view FeedFileAlphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.-";
constexpr std::u16string_view FeedDirectoryPath = u"/updates/native/";
constexpr std::u16string_view NoCacheHeader = u"Cache-Control: no-cache\r\n";
constexpr const char* NonSuccessMessage = "Update server returned a non-success response";
constexpr std::size_t TransferBufferSize = 65536;
constexpr std::uint32_t HttpStatusTooManyRequests = 429;
constexpr std::uint32_t HttpStatusServiceUnavailable = 503;

// The tick count makes every request target unique, so that no cache
// between the updater and the server can answer it.
std::u16string RequestTarget(std::u16string_view fileName) {
  std::string ticks = std::to_string(os::GetTickCount64());
  std::u16string target(FeedDirectoryPath);
  target += fileName;
  target += u"?v=";
  target.append(ticks.begin(), ticks.end());
  return target;
}

std::u16string RequestHeaders(std::optional<std::uint64_t> firstByte) {
  std::u16string headers(NoCacheHeader);
  if (firstByte) {
    const std::string first = std::to_string(*firstByte);
    headers += u"Range: bytes=";
    headers.append(first.begin(), first.end());
    headers += u"-\r\n";
  }
  return headers;
}

// A call the stop cancelled fails as the stop's consequence, whatever step
// it was.
[[noreturn]] void RaiseRequestFailure(const char* step, os::ErrorCode code) {
  if (code == os::ErrorWinHttpOperationCancelled) RequireNoStopRequest();
  RaiseLastError(step, code);
}

}  // namespace

FeedRequest::FeedRequest(FeedConnection& connection, std::u16string_view fileName,
                         std::optional<std::uint64_t> firstByte) {
  Require(fileName.find_first_not_of(FeedFileAlphabet) == std::u16string_view::npos, "Invalid fixed-feed filename");
  const bool answeredBefore = connection.HasAnswered();
  os::Failure failure = Send(connection, fileName, firstByte);
  if (failure && answeredBefore && *failure != os::ErrorWinHttpOperationCancelled) {
    connection.Reopen();
    failure = Send(connection, fileName, firstByte);
  }
  if (failure) RaiseRequestFailure("Request update", *failure);
  connection.MarkAnswered();
}

// Opens the request and waits for its response headers. Only the sending
// and the wait fail by returning; the steps before them, which involve no
// server, raise.
os::Failure FeedRequest::Send(FeedConnection& connection, std::u16string_view fileName,
                              std::optional<std::uint64_t> firstByte) {
  request_ = os::InternetHandle();
  const os::InternetHandle& server = connection.Handle();
  if (const os::Failure failure =
          os::WinHttpOpenRequest(server, u"GET", RequestTarget(fileName), os::WinHttpFlagSecure, request_)) {
    RaiseLastError("Create update request", *failure);
  }
  // A redirect could lead anywhere; callers refuse every status they do not
  // expect.
  if (const os::Failure failure = os::WinHttpSetOption(request_, os::WinHttpOptionRedirectPolicy,
                                                       os::WinHttpOptionRedirectPolicyNever)) {
    RaiseLastError("Disable update redirects", *failure);
  }
  os::Failure failure = os::WinHttpSendRequest(request_, RequestHeaders(firstByte));
  if (!failure) failure = os::WinHttpReceiveResponse(request_);
  // A request that failed is closed before its connection may be.
  if (failure) request_ = os::InternetHandle();
  return failure;
}

std::uint32_t FeedRequest::Status() const {
  std::uint32_t status = 0;
  if (const os::Failure failure =
          os::WinHttpQueryHeaders(request_, os::WinHttpQueryStatusCode | os::WinHttpQueryFlagNumber, status)) {
    RaiseLastError("Read update status", *failure);
  }
  return status;
}

std::u16string FeedRequest::ContentRange() const {
  std::u16string range;
  const os::Failure failure = os::WinHttpQueryHeaderText(request_, os::WinHttpQueryContentRange, range);
  if (failure && failure != os::ErrorWinHttpHeaderNotFound) RaiseLastError("Read update status", *failure);
  return range;
}

std::optional<std::uint64_t> FeedRequest::RetryAfter() const {
  std::u16string value;
  if (os::WinHttpQueryHeaderText(request_, os::WinHttpQueryRetryAfter, value)) return std::nullopt;
  return RetryAfterMilliseconds(value, UnixSecondsNow());
}

void FeedRequest::RequireStatus(std::initializer_list<std::uint32_t> accepted) const {
  const std::uint32_t status = Status();
  for (const std::uint32_t expected : accepted) {
    if (status == expected) return;
  }
  if (status == HttpStatusTooManyRequests || status == HttpStatusServiceUnavailable) {
    if (const std::optional<std::uint64_t> wait = RetryAfter()) throw RetryLaterFailure(NonSuccessMessage, *wait);
  }
  throw std::runtime_error(NonSuccessMessage);
}

void FeedRequest::ReadBody(std::uint64_t byteLimit, const std::function<void(std::span<const char>)>& sink) {
  std::vector<char> buffer(TransferBufferSize);
  std::uint64_t total = 0;
  // The read's own wait ends at once with a stop, set before it or during it.
  for (;;) {
    std::uint32_t read = 0;
    if (const os::Failure failure = os::WinHttpReadData(request_, buffer, read)) {
      RaiseRequestFailure("Read update download", *failure);
    }
    if (read == 0) return;
    total += read;
    Require(total <= byteLimit, "Update response exceeds its signed limit");
    sink(std::span<const char>(buffer.data(), read));
  }
}

}  // namespace ostrel
