// Any user may start the service, so a service instance may start at any
// moment of an apply worker's run: right after the hand-off, before the
// worker has taken the transaction lock, while the installer runs, as the
// worker records the result. At every one of those moments the new
// instance must leave the staged files alone: no check, no commit, no
// status, no second hand-off.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "apply/apply_worker.h"
#include "fake_os/fake_machine.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "installed_updater.h"
#include "locations/updater_locations.h"
#include "service/published_release.h"
#include "service/update_cycle.h"
#include "state/registry_state.h"

namespace ostrel {
namespace {

using namespace fake;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr std::uint32_t ServiceProcessId = 4242;
const std::u16string InstalledUpdater = u"C:\\Program Files\\Ostrel\\Updater\\OstrelUpdate.exe";

std::u16string Data(std::u16string_view name) { return JoinPath(UpdaterDataDirectory(), name); }

// Every file but the history, which records each start whatever it does.
std::map<std::u16string, std::string> Files() {
  std::map<std::u16string, std::string> files;
  for (const auto& [key, file] : Machine().fileSystem.files) files[key] = file->contents;
  files.erase(u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER\\HISTORY.LOG");
  return files;
}

// The service process as the service manager starts it: the installed
// updater, its own process id.
class ServiceInstance {
 public:
  ServiceInstance()
      : module_(std::exchange(Machine().moduleFileName, InstalledUpdater)),
        processId_(std::exchange(Machine().processId, ServiceProcessId)) {
    Machine().stopEvent = false;
  }
  ~ServiceInstance() {
    Machine().moduleFileName = module_;
    Machine().processId = processId_;
  }

 private:
  std::u16string module_;
  std::uint32_t processId_;
};

// Starts a service instance where it stands and expects it to end at once,
// having changed and started nothing. Returns how it ended, "" when normally.
std::string StartServiceInstanceThatMustNotAct() {
  const std::map<std::u16string, std::string> before = Files();
  const std::size_t launches = Machine().processes.launches.size();
  const std::size_t requests = Machine().http.requestTargets.size();
  std::string ended;
  {
    ServiceInstance service;
    try {
      RunUpdateCycle();
    } catch (const std::exception& failure) {
      ended = failure.what();
    }
  }
  EXPECT_EQ(Files(), before) << "a service instance changed the working directory";
  EXPECT_EQ(Machine().processes.launches.size(), launches) << "a service instance started a process";
  EXPECT_EQ(Machine().http.requestTargets.size(), requests) << "a service instance asked the feed";
  return ended;
}

// A staged release, the browser closed: the service hands off, and the
// worker it started runs from its copy until its run is over.
class OneUpdaterAtATimeTest : public testing::Test {
 protected:
  OneUpdaterAtATimeTest() {
    Machine().identity = FakeIdentity::LocalSystem();
    test::ArrangeInstalledUpdater();
    Machine().services.AddService(ServiceName);
    Machine().fileSystem.AddFile(Data(ReleaseMetadataName), release.metadata);
    Machine().fileSystem.AddFile(Data(ReleaseSignatureName), release.signature);
    Machine().fileSystem.AddFile(Data(ToUtf16(release.file)), release.installer);
    // The worker runs until the test ends its run.
    Machine().processes.programs[ApplyWorkerPath()] = FakeProgram{std::nullopt, 0};
  }

  // The service's hand-off; the worker's process id.
  std::uint32_t HandOff() {
    {
      ServiceInstance service;
      RunUpdateCycle();
    }
    EXPECT_TRUE(Machine().processes.launches.back().commandLine.ends_with(u"--apply 4242"));
    return Machine().processes.running.back().id;
  }

  // The worker's run, in its own process.
  void RunWorker(std::uint32_t workerId) {
    const std::u16string module = std::exchange(Machine().moduleFileName, ApplyWorkerPath());
    const std::uint32_t processId = std::exchange(Machine().processId, workerId);
    RunApplyWorker(ServiceProcessId);
    Machine().moduleFileName = module;
    Machine().processId = processId;
    std::erase_if(Machine().processes.running, [workerId](const FakeProcess& p) { return p.id == workerId; });
  }

  const test::PublishedRelease release = test::Publish("1.1.0");
};

TEST_F(OneUpdaterAtATimeTest, AServiceStartedAtAnyStepOfTheWorkersRunLeavesItAlone) {
  const std::uint32_t worker = HandOff();

  // Between the hand-off and the worker's first step.
  EXPECT_EQ(StartServiceInstanceThatMustNotAct(), "");

  // Before every change the worker makes to the disk: taking the lock,
  // preparing its installer's directory, publishing its result.
  int steps = 0;
  Machine().fileSystem.beforeChange = [&steps] {
    const auto hook = std::exchange(Machine().fileSystem.beforeChange, nullptr);
    ++steps;
    EXPECT_EQ(StartServiceInstanceThatMustNotAct(), "") << "at step " << steps;
    Machine().fileSystem.beforeChange = hook;
  };
  RunWorker(worker);
  Machine().fileSystem.beforeChange = nullptr;
  EXPECT_GE(steps, 4);
  EXPECT_THAT(Machine().processes.launches, testing::SizeIs(2)) << "the worker and its installer, nothing more";
  EXPECT_EQ(ReadInstalledVersion(), u"1.1.0");
}

}  // namespace
}  // namespace ostrel
