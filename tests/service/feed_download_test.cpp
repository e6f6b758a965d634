#include "service/feed_download.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "build_configuration.h"
#include "fake_os/fake_machine.h"
#include "os/file.h"
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
    return DownloadFeedFile(name, limit, u"");
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
  EXPECT_EQ(http.openFlags, 0u);  // synchronous
  EXPECT_THAT(http.timeouts, ElementsAre(10000, 10000, 15000, 15000));
  EXPECT_EQ(http.serverName, UpdateServerHost);
  EXPECT_EQ(http.serverPort, 443);
  EXPECT_EQ(http.verb, u"GET");
  EXPECT_THAT(http.requestTargets, ElementsAre(u"/updates/native/release.json?v=5001000"));
  EXPECT_EQ(http.requestFlags, os::WinHttpFlagSecure);
  EXPECT_EQ(http.options.at(os::WinHttpOptionRedirectPolicy), os::WinHttpOptionRedirectPolicyNever);
  EXPECT_EQ(http.headers, u"Cache-Control: no-cache\r\n");
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

TEST_F(FeedDownloadTest, StopsBeforeTheFirstReadWhenTheStopEventIsSet) {
  Serve(u"release.json", 200, "{}");
  ASSERT_EQ(os::CreateStopEvent(), std::nullopt);
  ASSERT_EQ(os::SetStopEvent(), std::nullopt);
  ExpectFailure(u"release.json", 65536, "Update check canceled");
  EXPECT_THAT(Machine().http.requestTargets, testing::SizeIs(1));
  EXPECT_EQ(Machine().http.reads, 0u);
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
}

constexpr std::u16string_view DataDirectory = u"C:\\ProgramData\\OstrelNativeUpdater";
constexpr std::u16string_view PartialDownload = u"C:\\ProgramData\\OstrelNativeUpdater\\download.partial";

class FeedDownloadToFileTest : public FeedDownloadTest {
 protected:
  fake::FakeFile& directory = Machine().fileSystem.AddDirectory(DataDirectory);

  static std::string Written() { return Machine().fileSystem.Find(PartialDownload)->contents; }

  static void ExpectFileFailure(std::uint64_t limit, const std::string& message) {
    try {
      DownloadFeedFile(u"installer.exe", limit, PartialDownload);
      ADD_FAILURE() << "no failure, expected " << message;
    } catch (const std::runtime_error& failure) {
      EXPECT_EQ(failure.what(), message);
    }
    EXPECT_THAT(Machine().handles.open, IsEmpty()) << "a file handle was left open";
    EXPECT_THAT(Machine().http.open, IsEmpty()) << "a WinHTTP handle was left open";
  }
};

TEST_F(FeedDownloadToFileTest, ReplacesTheFileWithTheBodyAndReturnsNothing) {
  Machine().fileSystem.AddFile(PartialDownload, "an earlier attempt, longer than this one");
  Serve(u"installer.exe", 200, std::string(150000, 'i'));
  EXPECT_EQ(DownloadFeedFile(u"installer.exe", 150000, PartialDownload), "");
  EXPECT_EQ(Written(), std::string(150000, 'i'));

  EXPECT_THAT(Machine().fileSystem.createFileCalls,
              ElementsAre(fake::FakeFileSystem::CreateFileCall{std::u16string(PartialDownload), os::GenericWrite, 0,
                                                               os::OpenAlways,
                                                               os::FileAttributeNormal | os::FileFlagOpenReparsePoint}));
  EXPECT_EQ(Machine().fileSystem.flushes, 1);
  EXPECT_THAT(Machine().handles.open, IsEmpty());
}

TEST_F(FeedDownloadToFileTest, LeavesAnEmptyFileForAnEmptyBody) {
  Serve(u"installer.exe", 200, "");
  EXPECT_EQ(DownloadFeedFile(u"installer.exe", 0, PartialDownload), "");
  EXPECT_EQ(Written(), "");
}

TEST_F(FeedDownloadToFileTest, RefusesADirectoryOrdinaryUsersMayWriteBeforeCreatingTheFile) {
  directory.security.dacl->push_back(fake::Allowed(fake::UsersSid, os::FileWriteData));
  Serve(u"installer.exe", 200, "body");
  ExpectFileFailure(4, "Updater object is writable by an untrusted principal");
  EXPECT_EQ(Machine().fileSystem.Find(PartialDownload), nullptr);
  EXPECT_EQ(Machine().http.reads, 0u);
}

// A link or a second name at the destination is refused before a byte of
// it, or of what it leads to, changes.
TEST_F(FeedDownloadToFileTest, RefusesALinkOrAHardLinkAtTheDestinationAndChangesNothingOfEither) {
  Machine().fileSystem.AddDirectory(u"C:\\Windows");
  Machine().fileSystem.AddFile(u"C:\\Windows\\system.ini", "kept");
  Machine().fileSystem.AddFileLink(PartialDownload, u"C:\\Windows\\system.ini").contents = "reparse data";
  Serve(u"installer.exe", 200, "body");
  ExpectFileFailure(4, "Updater file reparse point rejected");
  EXPECT_EQ(Machine().fileSystem.Find(u"C:\\Windows\\system.ini")->contents, "kept");
  EXPECT_EQ(Written(), "reparse data");

  constexpr std::u16string_view Staged = u"C:\\ProgramData\\OstrelNativeUpdater\\Ostrel-Setup-1.2.3.exe";
  Machine().fileSystem.files.erase(u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER\\DOWNLOAD.PARTIAL");
  Machine().fileSystem.AddFile(Staged, "staged");
  Machine().fileSystem.AddHardLink(PartialDownload, Staged);
  ExpectFileFailure(4, "Updater file has other names");
  EXPECT_EQ(Machine().fileSystem.Find(Staged)->contents, "staged");
  EXPECT_EQ(Machine().http.reads, 0u);
}

TEST_F(FeedDownloadToFileTest, WritesNothingOfTheReadThatCrossesTheLimit) {
  Serve(u"installer.exe", 200, std::string(70000, 'i'));
  Machine().http.readChunk = 65536;
  ExpectFileFailure(69999, "Update response exceeds its signed limit");
  EXPECT_EQ(Written(), std::string(65536, 'i'));
}

TEST_F(FeedDownloadToFileTest, NamesAFailedWriteOrFlushWithItsCode) {
  Serve(u"installer.exe", 200, "body");
  Machine().fileSystem.writeFileResult = 112;
  ExpectFileFailure(4, "Write update download (112)");
  Machine().fileSystem.writeFileResult = std::nullopt;
  // A short write reports success, so no code is left to tell.
  Machine().fileSystem.writeLimit = 3;
  ExpectFileFailure(4, "Write update download (0)");
  Machine().fileSystem.writeLimit.reset();
  Machine().fileSystem.flushFileBuffersResult = 5;
  ExpectFileFailure(4, "Flush update download (5)");
  Machine().fileSystem.AddDirectory(u"C:\\ProgramData\\OstrelNativeUpdater\\taken");
  Machine().fileSystem.flushFileBuffersResult = std::nullopt;
  try {
    DownloadFeedFile(u"installer.exe", 4, u"C:\\ProgramData\\OstrelNativeUpdater\\taken");
    ADD_FAILURE();
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), "Create update download (5)");
  }
}

}  // namespace
}  // namespace ostrel
