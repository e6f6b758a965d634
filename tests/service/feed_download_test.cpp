#include "service/feed_download.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "build_configuration.h"
#include "fake_os/fake_machine.h"
#include "os/http.h"
#include "os/stop_event.h"
#include "service/feed_request.h"

namespace ostrel {
namespace {

using fake::Machine;
using testing::ElementsAre;
using testing::IsEmpty;

class FeedDownloadTest : public testing::Test {
 protected:
  static void Serve(std::u16string_view name, std::uint32_t status, std::string body) {
    Machine().http.responses[u"/updates/native/" + std::u16string(name)] = {status, std::move(body)};
  }

  // On a connection of its own, which closes with the download.
  static std::string Download(std::u16string_view name, std::uint64_t limit) {
    FeedConnection connection;
    return DownloadFeedFile(connection, name, limit);
  }

  static void ExpectFailure(std::u16string_view name, std::uint64_t limit, const std::string& message) {
    try {
      Download(name, limit);
      ADD_FAILURE() << "no failure, expected " << message;
    } catch (const std::runtime_error& failure) {
      EXPECT_EQ(failure.what(), message);
    }
    EXPECT_THAT(Machine().http.open, IsEmpty()) << "a handle was left open";
  }
};

TEST_F(FeedDownloadTest, RefusesANameOutsideTheFeedAlphabetBeforeAnyRequest) {
  for (std::u16string_view name : {u"a/b", u"a\\b", u"release json", u"release%2ejson", u"caf\u00e9.json",
                                   u"release.json?v=1", u"release.json#x", u"..\\x", u"r\u0435lease.json"}) {
    ExpectFailure(name, 100, "Invalid fixed-feed filename");
  }
  EXPECT_THAT(Machine().http.userAgent, IsEmpty());
  EXPECT_THAT(Machine().http.requestTargets, IsEmpty());
}

TEST_F(FeedDownloadTest, AsksOnlyTheFixedServerOverTlsWithoutRedirectsOrCaches) {
  Serve(u"release.json", 200, "{}");
  EXPECT_EQ(Download(u"release.json", 65536), "{}");

  const fake::FakeHttp& http = Machine().http;
  EXPECT_EQ(http.userAgent, u"Ostrel Native Updater/1");
  EXPECT_EQ(http.accessType, os::WinHttpAccessTypeAutomaticProxy);
  EXPECT_EQ(http.openFlags, 0u);
  EXPECT_THAT(http.timeouts, ElementsAre(10000, 10000, 15000, 15000));
  EXPECT_EQ(http.serverName, UpdateServerHost);
  EXPECT_EQ(http.serverPort, 443);
  EXPECT_EQ(http.verb, u"GET");
  EXPECT_THAT(http.requestTargets, ElementsAre(u"/updates/native/release.json?v=5001000"));
  EXPECT_EQ(http.requestFlags, os::WinHttpFlagSecure);
  EXPECT_EQ(http.options.at(os::WinHttpOptionRedirectPolicy), os::WinHttpOptionRedirectPolicyNever);
  EXPECT_THAT(http.sentHeaders, ElementsAre(u"Cache-Control: no-cache\r\n"));
  EXPECT_THAT(http.closed, ElementsAre("request", "connection", "session"));
}

TEST_F(FeedDownloadTest, ReadsTheTickCountAfreshForEveryRequest) {
  Serve(u"release.sig", 200, "sig");
  Download(u"release.sig", 512);
  Download(u"release.sig", 512);
  EXPECT_THAT(Machine().http.requestTargets,
              ElementsAre(u"/updates/native/release.sig?v=5001000", u"/updates/native/release.sig?v=5002000"));
}

TEST_F(FeedDownloadTest, NamesTheFailedStepWithItsCodeAndClosesWhatWasOpened) {
  Serve(u"release.json", 200, "{}");
  const struct {
    const char* operation;
    const char* message;
  } cases[] = {
      {"WinHttpOpen", "Open update connection (12001)"},
      {"WinHttpConnect", "Connect update server (12001)"},
      {"WinHttpOpenRequest", "Create update request (12001)"},
      {"WinHttpSetOption", "Disable update redirects (12001)"},
      {"WinHttpSendRequest", "Request update (12001)"},
      {"WinHttpReceiveResponse", "Request update (12001)"},
      {"WinHttpQueryHeaders", "Read update status (12001)"},
      {"WinHttpReadData", "Read update download (12001)"},
  };
  for (const auto& step : cases) {
    SCOPED_TRACE(step.operation);
    Machine().http.failures = {{step.operation, 12001}};
    ExpectFailure(u"release.json", 65536, step.message);
  }
}

TEST_F(FeedDownloadTest, GoesOnWithTheDefaultTimeoutsWhenTheyCannotBeSet) {
  Serve(u"release.json", 200, "{}");
  Machine().http.failures = {{"WinHttpSetTimeouts", 87}};
  EXPECT_EQ(Download(u"release.json", 65536), "{}");
}

TEST_F(FeedDownloadTest, RefusesEveryStatusButOk) {
  for (std::uint32_t status : {301u, 302u, 304u, 204u, 404u, 500u}) {
    SCOPED_TRACE(status);
    Serve(u"release.json", status, "{}");
    ExpectFailure(u"release.json", 65536, "Update server returned a non-success response");
  }
  ExpectFailure(u"unknown.json", 65536, "Update server returned a non-success response");
}

TEST_F(FeedDownloadTest, AcceptsABodyOfExactlyTheLimitAcrossReads) {
  std::string body(3 * 65536 + 17, 'x');
  Serve(u"installer.exe", 200, body);
  Machine().http.readChunk = 5000;
  EXPECT_EQ(Download(u"installer.exe", body.size()), body);
}

TEST_F(FeedDownloadTest, RefusesTheReadThatCrossesTheLimit) {
  Serve(u"release.sig", 200, std::string(513, 's'));
  Machine().http.readChunk = 256;
  ExpectFailure(u"release.sig", 512, "Update response exceeds its signed limit");
  EXPECT_EQ(Machine().http.reads, 3u);
}

TEST_F(FeedDownloadTest, ReturnsAnEmptyBodyAsEmpty) {
  Serve(u"release.json", 200, "");
  EXPECT_EQ(Download(u"release.json", 0), "");
  EXPECT_EQ(Download(u"release.json", 65536), "");
}

TEST_F(FeedDownloadTest, SendsNothingOnceTheStopEventIsSet) {
  Serve(u"release.json", 200, "{}");
  ASSERT_EQ(os::CreateStopEvent(), std::nullopt);
  ASSERT_EQ(os::SetStopEvent(), std::nullopt);
  ExpectFailure(u"release.json", 65536, "Update check canceled");
  EXPECT_THAT(Machine().http.sentHeaders, IsEmpty());
  EXPECT_EQ(Machine().http.reads, 0u);
}

// A server that stalls holds the request in one of the calls that wait on
// it: the send (name resolution, connection, TLS, the request itself), the
// wait for the headers, or a read of the body. A stop arriving meanwhile
// ends that call at once; without one it ends in WinHTTP's timeout.
TEST_F(FeedDownloadTest, AStopEndsTheRequestInEveryPhaseThatWaitsOnTheServer) {
  Serve(u"installer.exe", 200, std::string(200000, 'i'));
  const struct {
    const char* stalled;
    const char* timedOut;
  } phases[] = {
      {"WinHttpSendRequest", "Request update (12002)"},
      {"WinHttpReceiveResponse", "Request update (12002)"},
      {"WinHttpReadData", "Read update download (12002)"},
  };
  for (const auto& phase : phases) {
    SCOPED_TRACE(phase.stalled);
    Machine().http.stalls = {phase.stalled};
    ASSERT_EQ(os::CreateStopEvent(), std::nullopt);
    Machine().http.whileStalled = [](const std::string&) {};
    ExpectFailure(u"installer.exe", 200000, phase.timedOut);

    std::vector<std::string> stalledWhenStopped;
    Machine().http.whileStalled = [&stalledWhenStopped](const std::string& operation) {
      stalledWhenStopped.push_back(operation);
      ASSERT_EQ(os::SetStopEvent(), std::nullopt);
    };
    ExpectFailure(u"installer.exe", 200000, "Update check canceled");
    EXPECT_THAT(stalledWhenStopped, ElementsAre(phase.stalled));
  }
}

// Every request on one kept connection: WinHTTP's session pools its TCP
// connection and TLS session, so the server sees one handshake per service.
TEST_F(FeedDownloadTest, KeepsOneSessionAndConnectionForEveryRequest) {
  Serve(u"release.json", 200, "{}");
  Serve(u"release.sig", 200, "sig");
  {
    FeedConnection connection;
    for (int pass = 0; pass < 3; ++pass) {
      EXPECT_EQ(DownloadFeedFile(connection, u"release.json", 65536), "{}");
      EXPECT_EQ(DownloadFeedFile(connection, u"release.sig", 512), "sig");
    }
    EXPECT_EQ(std::ranges::count(Machine().http.opened, "session"), 1);
    EXPECT_EQ(std::ranges::count(Machine().http.opened, "connection"), 1);
    EXPECT_EQ(std::ranges::count(Machine().http.closed, "request"), 6);
    EXPECT_THAT(Machine().http.timeouts, ElementsAre(10000, 10000, 15000, 15000));
  }
  EXPECT_THAT(Machine().http.open, IsEmpty());
}

// A failure on a connection that has answered before may only mean that the
// server closed it while it was idle: the request goes once more on a new
// session and connection. A failure on a new connection, a second failure or
// a stop is the check's failure.
TEST_F(FeedDownloadTest, SendsARequestOnceMoreOnANewConnectionOnlyAfterTheKeptOneFailed) {
  Serve(u"release.json", 200, "{}");
  const struct {
    const char* description;
    std::function<void()> arrange;
    const char* message;  // empty: the download succeeds
    std::size_t requests;  // opened, the first download's among them
    std::size_t sessions;
  } cases[] = {
      {"closed by the server", [] { Machine().http.CloseConnectionsAtServer(); }, "", 3, 2},
      {"failing at the send every time", [] { Machine().http.failures = {{"WinHttpSendRequest", 12007}}; },
       "Request update (12007)", 3, 2},
      {"timed out waiting for the headers", [] { Machine().http.stalls = {"WinHttpReceiveResponse"}; },
       "Request update (12002)", 3, 2},
      {"stopped", [] { ASSERT_EQ(os::SetStopEvent(), std::nullopt); }, "Update check canceled", 2, 1},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.description);
    fake::ResetMachine();
    Serve(u"release.json", 200, "{}");
    ASSERT_EQ(os::CreateStopEvent(), std::nullopt);
    FeedConnection connection;
    DownloadFeedFile(connection, u"release.json", 65536);
    row.arrange();
    try {
      EXPECT_EQ(DownloadFeedFile(connection, u"release.json", 65536), "{}");
      EXPECT_STREQ(row.message, "");
    } catch (const std::runtime_error& failure) {
      EXPECT_EQ(failure.what(), std::string(row.message));
    }
    EXPECT_EQ(Machine().http.requestTargets.size(), row.requests);
    EXPECT_EQ(std::ranges::count(Machine().http.opened, "session"), row.sessions);
  }

  // The failure on the new connection was the check's: the next is not
  // sent twice.
  fake::ResetMachine();
  Serve(u"release.json", 200, "{}");
  Machine().http.failures = {{"WinHttpSendRequest", 12007}};
  FeedConnection connection;
  for (int check = 0; check < 2; ++check) EXPECT_THROW(DownloadFeedFile(connection, u"release.json", 65536), std::runtime_error);
  EXPECT_EQ(Machine().http.requestTargets.size(), 2u);
  EXPECT_EQ(std::ranges::count(Machine().http.opened, "session"), 1);
}

// Only a busy server's own words slow the updater down.
TEST_F(FeedDownloadTest, ABusyServerThatSaysWhenToComeBackIsToldApart) {
  const struct {
    std::uint32_t status;
    std::optional<std::u16string> retryAfter;
    std::optional<std::uint64_t> wait;  // none: an ordinary failure
  } cases[] = {
      {503, u"120", 120'000}, {429, u"30", 30'000}, {503, u"86400", 3'600'000}, {503, std::nullopt, std::nullopt},
      {503, u"soon", std::nullopt}, {500, u"120", std::nullopt}, {404, u"120", std::nullopt},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.status);
    Machine().http.responses[u"/updates/native/release.json"] = {row.status, "busy"};
    Machine().http.responses[u"/updates/native/release.json"].retryAfter = row.retryAfter;
    try {
      Download(u"release.json", 65536);
      ADD_FAILURE() << "no failure";
    } catch (const RetryLaterFailure& failure) {
      EXPECT_STREQ(failure.what(), "Update server returned a non-success response");
      EXPECT_EQ(failure.WaitMilliseconds(), row.wait);
    } catch (const std::runtime_error& failure) {
      EXPECT_STREQ(failure.what(), "Update server returned a non-success response");
      EXPECT_EQ(row.wait, std::nullopt);
    }
  }
}

TEST_F(FeedDownloadTest, StopsBeforeTheNextReadWhenAStopArrivesDuringTheBody) {
  Serve(u"installer.exe", 200, std::string(200000, 'i'));
  ASSERT_EQ(os::CreateStopEvent(), std::nullopt);
  Machine().http.beforeRead = [](std::size_t readsSoFar) {
    if (readsSoFar == 1) {
      ASSERT_EQ(os::SetStopEvent(), std::nullopt);
    }
  };
  ExpectFailure(u"installer.exe", 200000, "Update check canceled");
  EXPECT_EQ(Machine().http.reads, 2u);
  EXPECT_EQ(Machine().http.bodyOffset, 65536u);
}

}  // namespace
}  // namespace ostrel
