#include "feed/feed_client.h"

#include <gtest/gtest.h>

namespace ostrel::test {

FeedRequest::FeedRequest(std::u16string_view target) {
  EXPECT_EQ(os::WinHttpOpen(u"Ostrel feed test", os::WinHttpAccessTypeAutomaticProxy, 0, session), std::nullopt);
  EXPECT_EQ(os::WinHttpConnect(session, u"localhost", os::InternetDefaultHttpsPort, connection), std::nullopt);
  EXPECT_EQ(os::WinHttpOpenRequest(connection, u"GET", target, os::WinHttpFlagSecure, request), std::nullopt);
}

os::Failure FeedRequest::Send() {
  if (const os::Failure failure = os::WinHttpSendRequest(request, u"")) return failure;
  return os::WinHttpReceiveResponse(request);
}

std::uint32_t FeedRequest::Status() {
  std::uint32_t status = 0;
  EXPECT_EQ(os::WinHttpQueryHeaders(request, os::WinHttpQueryStatusCode | os::WinHttpQueryFlagNumber, status),
            std::nullopt);
  return status;
}

std::string FeedRequest::ReadBody() {
  std::string body;
  char buffer[65536];
  for (;;) {
    std::uint32_t read = 0;
    const os::Failure failure = os::WinHttpReadData(request, buffer, read);
    EXPECT_EQ(failure, std::nullopt);
    if (failure || read == 0) return body;
    body.append(buffer, read);
  }
}

void FeedRequest::PresentUntrustedCertificateNext() {
  FeedRequest control(u"/feed-control/untrusted-certificate");
  ASSERT_EQ(control.Send(), std::nullopt);
  ASSERT_EQ(control.Status(), 200u);
}

std::string FeedPattern(std::size_t count) {
  std::string pattern(count, '\0');
  for (std::size_t index = 0; index < count; ++index) pattern[index] = static_cast<char>(index % 251);
  return pattern;
}

std::string RecordedFeedRequests() {
  FeedRequest control(u"/feed-control/requests");
  EXPECT_EQ(control.Send(), std::nullopt);
  return control.ReadBody();
}

}  // namespace ostrel::test
