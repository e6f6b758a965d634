// DownloadFeedFile under Wine against the local HTTPS feed
// (feed/feed_server.py), over real TLS.
#include "service/feed_download.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <stdexcept>
#include <string>

#include "feed/feed_client.h"
#include "service/feed_request.h"

namespace ostrel {
namespace {

using test::FeedPattern;
using test::RecordedFeedRequests;

// On a connection of its own, as the first request of a service.
std::string DownloadFeedFile(std::u16string_view name, std::uint64_t limit) {
  FeedConnection connection;
  return ostrel::DownloadFeedFile(connection, name, limit);
}

std::string FailureOf(std::u16string_view name, std::uint64_t limit) {
  try {
    DownloadFeedFile(name, limit);
    return "";
  } catch (const std::runtime_error& failure) {
    return failure.what();
  }
}

TEST(FeedDownloadWin32Test, DownloadsABodyByteExact) {
  EXPECT_EQ(DownloadFeedFile(u"bytes-300007", 300007), FeedPattern(300007));
  EXPECT_EQ(DownloadFeedFile(u"empty", 0), "");
}

TEST(FeedDownloadWin32Test, RefusesRedirectsWithoutFollowingThem) {
  EXPECT_EQ(FailureOf(u"redirect-301", 65536), "Update server returned a non-success response");
  EXPECT_EQ(FailureOf(u"redirect-302", 65536), "Update server returned a non-success response");
  EXPECT_EQ(FailureOf(u"status-404", 65536), "Update server returned a non-success response");
  EXPECT_EQ(RecordedFeedRequests().find("redirect-target"), std::string::npos);
}

TEST(FeedDownloadWin32Test, AcceptsExactlyTheLimitAndNotOneByteMore) {
  EXPECT_EQ(DownloadFeedFile(u"bytes-70000", 70000).size(), 70000u);
  EXPECT_EQ(FailureOf(u"bytes-70001", 70000), "Update response exceeds its signed limit");
  EXPECT_EQ(FailureOf(u"chunked-513", 512), "Update response exceeds its signed limit");
}

TEST(FeedDownloadWin32Test, SendsAFreshTickCountTheUserAgentAndNoCache) {
  DownloadFeedFile(u"bytes-11", 11);
  DownloadFeedFile(u"bytes-11", 11);
  std::string recorded = RecordedFeedRequests();

  std::set<std::string> ticks;
  const std::regex target(R"(/updates/native/bytes-11\?v=([0-9]+)\")");
  for (auto match = std::sregex_iterator(recorded.begin(), recorded.end(), target); match != std::sregex_iterator();
       ++match) {
    ticks.insert((*match)[1]);
  }
  EXPECT_EQ(ticks.size(), 2u) << recorded;
  EXPECT_NE(recorded.find(R"(["User-Agent", "Ostrel Native Updater/1"])"), std::string::npos) << recorded;
  EXPECT_NE(recorded.find(R"(["Cache-Control", "no-cache"])"), std::string::npos) << recorded;
}

// The service's kept connection goes on serving after the server closed
// the connection under it, and reads a busy server's Retry-After.
TEST(FeedDownloadWin32Test, AKeptConnectionOutlivesTheServersCloseAndHearsABusyServer) {
  FeedConnection connection;
  EXPECT_EQ(ostrel::DownloadFeedFile(connection, u"closing-11", 11), FeedPattern(11));
  EXPECT_EQ(ostrel::DownloadFeedFile(connection, u"bytes-300007", 300007), FeedPattern(300007));
  try {
    ostrel::DownloadFeedFile(connection, u"busy-120", 10);
    ADD_FAILURE() << "a busy server answered";
  } catch (const RetryLaterFailure& failure) {
    EXPECT_EQ(failure.WaitMilliseconds(), 120'000u);
  }
  EXPECT_EQ(ostrel::DownloadFeedFile(connection, u"bytes-11", 11), FeedPattern(11));
}

TEST(FeedDownloadWin32Test, RefusesAServerWhoseCertificateIsNotTrusted) {
  test::FeedRequest::PresentUntrustedCertificateNext();
  // Windows reports 12175; Wine reports a secure channel error.
  EXPECT_EQ(FailureOf(u"bytes-10", 10), "Request update (12157)");
}

}  // namespace
}  // namespace ostrel
