// The WinHTTP calls of the os/ boundary against the local test feed over
// real TLS (tests/feed/feed_server.py, which runs this program).
#include <gtest/gtest.h>

#include <string>

#include "os/http.h"
#include "feed/feed_client.h"

namespace ostrel::os {
namespace {

using test::FeedPattern;
using test::FeedRequest;
using test::RecordedFeedRequests;

TEST(HttpFeedTest, ReadsALargeBodyByteExact) {
  FeedRequest request(u"/updates/native/bytes-300007");
  ASSERT_EQ(request.Send(), std::nullopt);
  EXPECT_EQ(request.Status(), 200u);
  EXPECT_EQ(request.ReadBody(), FeedPattern(300007));
}

TEST(HttpFeedTest, ReadsAChunkedBodyOfUnannouncedLength) {
  FeedRequest request(u"/updates/native/chunked-70000");
  ASSERT_EQ(request.Send(), std::nullopt);
  EXPECT_EQ(request.ReadBody(), FeedPattern(70000));
}

TEST(HttpFeedTest, ReturnsRedirectsUnfollowedWhenThePolicyIsNever) {
  for (const char16_t* status : {u"301", u"302"}) {
    FeedRequest request(std::u16string(u"/updates/native/redirect-") + status);
    ASSERT_EQ(WinHttpSetOption(request.request, WinHttpOptionRedirectPolicy, WinHttpOptionRedirectPolicyNever),
              std::nullopt);
    ASSERT_EQ(request.Send(), std::nullopt);
    EXPECT_EQ(request.Status(), status == std::u16string(u"301") ? 301u : 302u);
  }
  EXPECT_EQ(RecordedFeedRequests().find("redirect-target"), std::string::npos);
}

TEST(HttpFeedTest, FailsTheRequestWhenNoTrustedAuthorityIssuedTheCertificate) {
  FeedRequest::PresentUntrustedCertificateNext();
  FeedRequest request(u"/updates/native/bytes-10");
  // Windows reports ErrorWinHttpSecureFailure; Wine reports a channel error.
  EXPECT_EQ(request.Send(), ErrorWinHttpSecureChannelError);
}

TEST(HttpFeedTest, FailsTheReadWhenTheServerDropsTheConnection) {
  FeedRequest request(u"/updates/native/dropped-1000");
  ASSERT_EQ(request.Send(), std::nullopt);
  char buffer[65536];
  std::uint32_t read = 0;
  Failure failure;
  std::size_t total = 0;
  do {
    failure = WinHttpReadData(request.request, buffer, read);
    total += read;
  } while (!failure && read != 0);
  // Windows fails the read with 12030; Wine ends the body quietly where the
  // connection dropped, so a short body is left to the caller's size check.
  EXPECT_EQ(failure, std::nullopt);
  EXPECT_EQ(total, 1000u);
}

}  // namespace
}  // namespace ostrel::os
