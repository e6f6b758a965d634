#include "service/feed_download.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "build_configuration.h"
#include "fake_os/fake_machine.h"
#include "os/http.h"
#include "os/stop_event.h"

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

  static std::string Download(std::u16string_view name, std::uint64_t limit) {
    return DownloadFeedFile(name, limit);
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
