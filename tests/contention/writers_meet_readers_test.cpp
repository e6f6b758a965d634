// Every file the updater replaces while others may read it, against a
// reader that holds it: the companion extension's host reading the status,
// a scanner opening a new file, a user reading the working directory. A
// reader that lets go within a moment costs the writer a pause; one that
// holds on makes the writer fail with its own message and the system's code.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "apply/apply_worker.h"
#include "fake_os/fake_machine.h"
#include "foundation/json_access.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "installed_updater.h"
#include "locations/updater_locations.h"
#include "os/file.h"
#include "service/published_release.h"
#include "service/update_cycle.h"
#include "setup/updater_installation.h"
#include "state/bounded_file.h"
#include "state/updater_status.h"

namespace ostrel {
namespace {

using namespace fake;

const test::PublishedRelease Release = test::Publish("1.1.0");

std::u16string Data(std::u16string_view name) { return JoinPath(UpdaterDataDirectory(), name); }
std::u16string InstallerPath() { return Data(ToUtf16(Release.file)); }
std::u16string StatusPath() { return Data(StatusFileName); }
std::u16string ManifestPath() { return JoinPath(UpdaterDirectory(), HostManifestName); }

std::string Content(std::u16string_view path) {
  FakeFile* file = Machine().fileSystem.Find(path);
  return file == nullptr ? "<missing>" : file->contents;
}

void Stage() {
  Machine().fileSystem.AddFile(Data(ReleaseMetadataName), Release.metadata);
  Machine().fileSystem.AddFile(Data(ReleaseSignatureName), Release.signature);
  Machine().fileSystem.AddFile(InstallerPath(), Release.installer);
}

// The message of the published status: how the cycle reports a failed check.
std::string PublishedMessage() {
  JsonObject status = JsonObject::Parse(ToUtf16(Content(StatusPath())));
  return status.HasKey(u"message") ? ToUtf8(status.GetNamedString(u"message")) : "";
}

// Runs the role; its failure's message, or "" when it returned.
std::string Outcome(const std::function<void()>& role) {
  try {
    role();
  } catch (const std::runtime_error& failure) {
    return failure.what();
  }
  return "";
}

struct Writer {
  const char* name;
  // The machine as the writer finds it, the target already there.
  std::function<void()> arrange;
  std::u16string (*target)();
  // Runs the writer; what it reported of a failure, "" when it wrote.
  std::function<std::string()> write;
  // What a reader holding on makes it report.
  const char* heldFailure;
  // Whether the target holds what the writer wrote.
  std::function<bool()> written;
};

const Writer Writers[] = {
    {"the cycle's commit of a verified installer",
     [] {
       Machine().identity = FakeIdentity::LocalSystem();
       test::ArrangeInstalledUpdater();
       Machine().stopEvent = false;
       auto& responses = Machine().http.responses;
       responses[u"/updates/native/release.json"] = {200, Release.metadata};
       responses[u"/updates/native/release.sig"] = {200, Release.signature};
       responses[u"/updates/native/" + ToUtf16(Release.file)] = {200, Release.installer};
       Machine().processes.running.push_back({1000, u"chrome.exe", BrowserExecutablePath()});
       Machine().whileWaitingForStop = [] { Machine().stopEvent = true; };
       Machine().fileSystem.AddFile(InstallerPath(), "an earlier download");
     },
     InstallerPath,
     [] {
       RunUpdateCycle();
       return PublishedMessage();
     },
     "Commit verified installer (5)", [] { return Content(InstallerPath()) == Release.installer; }},
    {"the hand-off's copy of the worker",
     [] {
       Machine().identity = FakeIdentity::LocalSystem();
       test::ArrangeInstalledUpdater();
       Stage();
       Machine().fileSystem.AddFile(ApplyWorkerPath(), "an earlier worker");
     },
     ApplyWorkerPath, [] { return Outcome(RunUpdateCycle); }, "Prepare protected updater worker (32)",
     [] { return Content(ApplyWorkerPath()) == "updater image"; }},
    {"the worker's status",
     [] {
       Machine().identity = FakeIdentity::LocalSystem();
       test::ArrangeInstalledUpdater();
       Stage();
       Machine().services.AddService(ServiceName);
       Machine().fileSystem.AddFile(ApplyWorkerPath(), "updater image");
       Machine().moduleFileName = ApplyWorkerPath();
       Machine().fileSystem.AddFile(StatusPath(), "{}");
     },
     StatusPath, [] { return Outcome([] { RunApplyWorker(5000); }); }, "Commit updater status (5)",
     [] { return Content(StatusPath()).find("\"up_to_date\"") != std::string::npos; }},
    {"--install's manifest",
     [] {
       test::ArrangeInstalledUpdater();
       Machine().fileSystem.AddFile(ManifestPath(), "{}");
     },
     ManifestPath, [] { return Outcome([] { InstallUpdater(u"1.0.0"); }); }, "Create updater file (32)",
     [] { return Content(ManifestPath()).find("is.ostrel.updater") != std::string::npos; }},
    {"--install's status",
     [] {
       test::ArrangeInstalledUpdater();
       Machine().fileSystem.AddFile(StatusPath(), "{}");
     },
     StatusPath, [] { return Outcome([] { InstallUpdater(u"1.0.0"); }); }, "Commit updater status (5)",
     [] { return Content(StatusPath()).find("\"up_to_date\"") != std::string::npos; }},
};

// A reader as a user or a scanner opens the file: reading, sharing reading.
std::uintptr_t HoldForReading(std::u16string_view path) {
  return Machine().fileSystem.HoldOpen(path, os::GenericRead, os::FileShareRead);
}

TEST(WritersMeetReadersTest, AReaderThatLetsGoWithinAMomentCostsOnlyAPause) {
  for (const Writer& writer : Writers) {
    SCOPED_TRACE(writer.name);
    ResetMachine();
    writer.arrange();
    const std::uintptr_t reader = HoldForReading(writer.target());
    int pauses = 0;
    Machine().whileSleeping = [&pauses, reader] {
      if (++pauses == 3) Machine().fileSystem.openFiles.erase(reader);
    };
    EXPECT_EQ(writer.write(), "");
    EXPECT_TRUE(writer.written());
    EXPECT_GE(pauses, 3);
  }
}

TEST(WritersMeetReadersTest, AReaderThatHoldsOnEndsTheWriteWithItsMessage) {
  for (const Writer& writer : Writers) {
    SCOPED_TRACE(writer.name);
    ResetMachine();
    writer.arrange();
    HoldForReading(writer.target());
    EXPECT_EQ(writer.write(), writer.heldFailure);
    EXPECT_FALSE(writer.written());
  }
}

// The updater's own reader shares everything, and holds the file only while
// it reads it: the host answering "status" never stands in a writer's way
// for longer than that read.
TEST(WritersMeetReadersTest, TheUpdatersOwnReaderSharesReadingWritingAndDeleting) {
  test::ArrangeInstalledUpdater();
  WriteStatus(StatusUpToDate, u"", "");
  Machine().fileSystem.beforeRead = [](FakeFile&) {
    ASSERT_EQ(Machine().fileSystem.openFiles.size(), 1u);
    EXPECT_EQ(Machine().fileSystem.openFiles.begin()->second.shareMode,
              os::FileShareRead | os::FileShareWrite | os::FileShareDelete);
  };
  EXPECT_NO_THROW(ReadBoundedFile(StatusPath(), 65536));
  EXPECT_TRUE(Machine().fileSystem.openFiles.empty());
}

}  // namespace
}  // namespace ostrel
