#include "service/installer_download.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_os/fake_machine.h"
#include "foundation/text_conversion.h"
#include "os/file.h"
#include "os/http.h"
#include "os/stop_event.h"
#include "service/published_release.h"
#include "state/installer_backoff.h"

namespace ostrel {
namespace {

using fake::Machine;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr std::u16string_view DataDirectory = u"C:\\ProgramData\\OstrelNativeUpdater";
constexpr std::u16string_view PartialDownload = u"C:\\ProgramData\\OstrelNativeUpdater\\download.partial";
constexpr std::u16string_view PartialRecord = u"C:\\ProgramData\\OstrelNativeUpdater\\download.release.json";
constexpr std::u16string_view InstallerTarget = u"/updates/native/Ostrel-Setup-1.2.3.exe";

std::string Pattern(std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t index = 0; index < count; ++index) bytes[index] = static_cast<char>(index % 251);
  return bytes;
}

class InstallerDownloadTest : public testing::Test {
 protected:
  fake::FakeFile& directory = Machine().fileSystem.AddDirectory(DataDirectory);
  const test::PublishedRelease published = test::Publish("1.2.3", Pattern(200000));
  const ReleaseMetadata release = ReadReleaseMetadata(published.metadata);

  InstallerDownloadTest() { Machine().http.responses[std::u16string(InstallerTarget)] = {200, published.installer}; }

  fake::FakeHttpResponse& Installer() { return Machine().http.responses[std::u16string(InstallerTarget)]; }

  // Each on a connection of its own, which closes with the download.
  void Download() {
    FeedConnection connection;
    DownloadVerifiedInstaller(connection, release, published.metadata);
  }

  void ExpectFailure(const std::string& message) {
    try {
      Download();
      ADD_FAILURE() << "no failure, expected " << message;
    } catch (const std::runtime_error& failure) {
      EXPECT_EQ(failure.what(), message);
    }
    EXPECT_THAT(Machine().handles.open, IsEmpty()) << "a file handle was left open";
    EXPECT_THAT(Machine().http.open, IsEmpty()) << "a WinHTTP handle was left open";
  }

  // An earlier, cut transfer: the first bytes of an installer and the record
  // of the release they belong to.
  void LeavePartial(std::string bytes, std::optional<std::string> record) {
    Machine().fileSystem.AddFile(PartialDownload, std::move(bytes));
    if (record) Machine().fileSystem.AddFile(PartialRecord, *record);
  }

  static const fake::FakeFile* Find(std::u16string_view path) { return Machine().fileSystem.Find(path); }
  static std::string Partial() {
    const fake::FakeFile* partial = Find(PartialDownload);
    return partial == nullptr ? "" : partial->contents;
  }

  // The first byte each request asked for, nullopt for the whole file.
  static std::vector<std::optional<std::size_t>> FirstBytesAsked() {
    std::vector<std::optional<std::size_t>> asked;
    for (const std::u16string& headers : Machine().http.sentHeaders) {
      const std::size_t range = headers.find(u"Range: bytes=");
      if (range == std::u16string::npos) {
        asked.emplace_back();
        continue;
      }
      const std::u16string digits = headers.substr(range + 13, headers.find(u'-', range) - range - 13);
      asked.emplace_back(std::stoull(std::string(digits.begin(), digits.end())));
    }
    return asked;
  }
};

TEST_F(InstallerDownloadTest, DownloadsAfreshIntoAProtectedFileAndRecordsItsRelease) {
  Download();
  EXPECT_EQ(Partial(), published.installer);
  EXPECT_EQ(Find(PartialRecord)->contents, published.metadata);
  EXPECT_THAT(FirstBytesAsked(), ElementsAre(std::nullopt));
  EXPECT_EQ(Machine().fileSystem.createFileCalls.front(),
            (fake::FakeFileSystem::CreateFileCall{std::u16string(PartialDownload), os::GenericWrite, 0, os::OpenAlways,
                                                  os::FileAttributeNormal | os::FileFlagOpenReparsePoint}));
  EXPECT_EQ(Machine().fileSystem.flushes, 2);  // the record's and the download's
  EXPECT_THAT(Machine().handles.open, IsEmpty());
}

// What an earlier transfer left decides where the next one starts; a server
// that does not continue where asked makes it start again from zero.
TEST_F(InstallerDownloadTest, ContinuesOnlyThePartialFileOfTheSameReleaseWhereTheServerContinuesIt) {
  const std::string first = published.installer.substr(0, 70000);
  const std::string otherRelease = test::Publish("1.2.2", Pattern(200000)).metadata;
  const struct {
    const char* description;
    std::string partial;
    std::optional<std::string> record;
    bool ignoresRanges;
    std::optional<std::u16string> contentRange;
    std::vector<std::optional<std::size_t>> asked;
  } cases[] = {
      {"the same release", first, published.metadata, false, std::nullopt, {70000}},
      {"no record", first, std::nullopt, false, std::nullopt, {std::nullopt}},
      {"another release's record", first, otherRelease, false, std::nullopt, {std::nullopt}},
      {"the record with a byte more", first, published.metadata + " ", false, std::nullopt, {std::nullopt}},
      {"longer than signed", published.installer + "x", published.metadata, false, std::nullopt, {std::nullopt}},
      {"a server that answers 200", first, published.metadata, true, std::nullopt, {70000}},
      {"a range from elsewhere", first, published.metadata, false, u"bytes 0-199999/200000", {70000, std::nullopt}},
      {"a range beyond the signed size", first, published.metadata, false, u"bytes 70000-200000/200001",
       {70000, std::nullopt}},
      {"an unsatisfied range", first, published.metadata, false, u"bytes */200000", {70000, std::nullopt}},
      {"no range at all", first, published.metadata, false, u"", {70000, std::nullopt}},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.description);
    fake::ResetMachine();
    Machine().fileSystem.AddDirectory(DataDirectory);
    Machine().http.responses[std::u16string(InstallerTarget)] = {200, published.installer};
    Installer().ignoresRanges = row.ignoresRanges;
    Installer().contentRange = row.contentRange;
    LeavePartial(row.partial, row.record);

    Download();
    EXPECT_EQ(Partial(), published.installer);
    EXPECT_EQ(Find(PartialRecord)->contents, published.metadata);
    EXPECT_EQ(FirstBytesAsked(), row.asked);
    EXPECT_THAT(Machine().http.open, IsEmpty());
  }
}

// A transfer cut five times costs the installer's size and no more.
TEST_F(InstallerDownloadTest, ATransferCutAgainAndAgainGoesOnWhereItWasCut) {
  std::size_t served = 0;
  for (std::size_t cut : {1u, 65536u, 65537u, 130000u, 199999u}) {
    SCOPED_TRACE(cut);
    Installer().dropsAfter = cut - Partial().size();
    ExpectFailure("Read update download (12030)");
    served += Machine().http.bodyOffset;
    EXPECT_EQ(Partial(), published.installer.substr(0, cut));
  }
  Installer().dropsAfter.reset();
  Download();
  served += Machine().http.bodyOffset;
  EXPECT_EQ(Partial(), published.installer);
  EXPECT_EQ(served, published.installer.size());
  EXPECT_THAT(FirstBytesAsked(), ElementsAre(std::nullopt, 1, 65536, 65537, 130000, 199999));
}

}  // namespace
}  // namespace ostrel

namespace ostrel {
namespace {

TEST_F(InstallerDownloadTest, KeepsThePartialFileWhenTheServerFailsTheRangeRequest) {
  const std::string first = published.installer.substr(0, 70000);
  for (std::uint32_t status : {416u, 503u, 404u, 302u}) {
    SCOPED_TRACE(status);
    fake::ResetMachine();
    Machine().fileSystem.AddDirectory(DataDirectory);
    Machine().http.responses[std::u16string(InstallerTarget)] = {status, "not now"};
    LeavePartial(first, published.metadata);
    ExpectFailure("Update server returned a non-success response");
    EXPECT_EQ(Partial(), first);
    EXPECT_EQ(Find(PartialRecord)->contents, published.metadata);
  }
}

TEST_F(InstallerDownloadTest, NeverWritesBeyondTheSignedSize) {
  Installer().body = published.installer + "more";
  ExpectFailure("Update response exceeds its signed limit");
  EXPECT_EQ(Partial(), published.installer.substr(0, 196608));  // three whole reads

  // Continued, a body longer than the range it announces crosses the limit
  // at the same byte: the room is what the kept bytes leave of the signed size.
  const std::string size = std::to_string(published.installer.size());
  Installer().contentRange = ToUtf16("bytes 196608-" + std::to_string(published.installer.size() - 1) + "/" + size);
  ExpectFailure("Update response exceeds its signed limit");
  EXPECT_EQ(FirstBytesAsked().back(), 196608u) << "continued";
  EXPECT_LE(Partial().size(), published.installer.size());
}

// Bytes that do not verify are never continued: the next attempt starts
// from zero, whether the server or the earlier transfer got them wrong.
TEST_F(InstallerDownloadTest, ForgetsAnInstallerThatFailsVerification) {
  std::string tampered = published.installer;
  tampered[100] ^= 1;
  Installer().body = tampered;
  ExpectFailure("Installer SHA-512 mismatch");
  EXPECT_EQ(Find(PartialDownload), nullptr);
  EXPECT_EQ(Find(PartialRecord), nullptr);

  LeavePartial(tampered.substr(0, 70000), published.metadata);
  Installer().body = published.installer;
  ExpectFailure("Installer SHA-512 mismatch");
  EXPECT_EQ(Find(PartialDownload), nullptr);
  Download();
  EXPECT_EQ(Partial(), published.installer);
  EXPECT_EQ(FirstBytesAsked().back(), std::nullopt);
}

// A server that dies mid-body may look to the system like a body that has
// ended. The bytes received are kept and continued, as after a cut.
TEST_F(InstallerDownloadTest, KeepsATransferThatEndedQuietlyShortOfTheSignedSize) {
  Installer().body = published.installer.substr(0, 70000);
  ExpectFailure("Update download ended early");
  EXPECT_EQ(Partial(), published.installer.substr(0, 70000));
  EXPECT_EQ(Find(PartialRecord)->contents, published.metadata);
  EXPECT_EQ(InstallerBackoffFailure(published.metadata), std::nullopt) << "no verification failed";

  Installer().body = published.installer;
  Download();
  EXPECT_EQ(Partial(), published.installer);
  EXPECT_THAT(FirstBytesAsked(), ElementsAre(std::nullopt, 70000));
}

// The cycle holds back a release whose installer failed, until one passes.
TEST_F(InstallerDownloadTest, RecordsAFailedVerificationUntilAnInstallerPasses) {
  Installer().body = published.installer;
  Installer().body[100] ^= 1;
  ExpectFailure("Installer SHA-512 mismatch");
  EXPECT_EQ(InstallerBackoffFailure(published.metadata), "Installer SHA-512 mismatch");

  Installer().body = published.installer;
  Download();
  EXPECT_EQ(InstallerBackoffFailure(published.metadata), std::nullopt);
  EXPECT_EQ(Find(u"C:\\ProgramData\\OstrelNativeUpdater\\download.backoff.json"), nullptr);
}

TEST_F(InstallerDownloadTest, KeepsACompleteDownloadWhoseVerificationAStopInterrupted) {
  LeavePartial(published.installer, published.metadata);
  ASSERT_EQ(os::CreateStopEvent(), std::nullopt);
  ASSERT_EQ(os::SetStopEvent(), std::nullopt);
  ExpectFailure("Update check canceled");
  EXPECT_EQ(Partial(), published.installer);
  EXPECT_EQ(Find(PartialRecord)->contents, published.metadata);
  EXPECT_THAT(Machine().http.requestTargets, IsEmpty());
}

TEST_F(InstallerDownloadTest, RefusesADirectoryOrdinaryUsersMayWriteBeforeCreatingTheFile) {
  directory.security.dacl->push_back(fake::Allowed(fake::UsersSid, os::FileWriteData));
  ExpectFailure("Updater object is writable by an untrusted principal");
  EXPECT_EQ(Find(PartialDownload), nullptr);
  EXPECT_THAT(Machine().http.requestTargets, IsEmpty());
}

// A link or a second name at the destination is refused before a byte of
// it, or of what it leads to, changes.
TEST_F(InstallerDownloadTest, RefusesALinkOrAHardLinkAtTheDestinationAndChangesNothingOfEither) {
  Machine().fileSystem.AddDirectory(u"C:\\Windows");
  Machine().fileSystem.AddFile(u"C:\\Windows\\system.ini", "kept");
  Machine().fileSystem.AddFileLink(PartialDownload, u"C:\\Windows\\system.ini").contents = "reparse data";
  ExpectFailure("Updater file reparse point rejected");
  EXPECT_EQ(Find(u"C:\\Windows\\system.ini")->contents, "kept");
  EXPECT_EQ(Partial(), "reparse data");

  constexpr std::u16string_view Staged = u"C:\\ProgramData\\OstrelNativeUpdater\\Ostrel-Setup-1.2.2.exe";
  Machine().fileSystem.files.erase(u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER\\DOWNLOAD.PARTIAL");
  Machine().fileSystem.AddFile(Staged, "staged");
  Machine().fileSystem.AddHardLink(PartialDownload, Staged);
  ExpectFailure("Updater file has other names");
  EXPECT_EQ(Find(Staged)->contents, "staged");
  EXPECT_THAT(Machine().http.requestTargets, IsEmpty());
}

TEST_F(InstallerDownloadTest, NamesAFailedWriteOrFlushWithItsCode) {
  // A short write reports success, so no code is left to tell. The record
  // is written whole before the download starts.
  Machine().fileSystem.writeLimit = 1000;
  ExpectFailure("Write update download (0)");
  Machine().fileSystem.writeLimit.reset();

  // A continued download writes no record.
  LeavePartial(published.installer.substr(0, 70000), published.metadata);
  Machine().fileSystem.writeFileResult = 112;
  ExpectFailure("Write update download (112)");
  Machine().fileSystem.writeFileResult = std::nullopt;
  Machine().fileSystem.flushFileBuffersResult = 5;
  ExpectFailure("Flush update download (5)");
}

}  // namespace
}  // namespace ostrel
