#include "setup/replacement_preparation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "fake_os/fake_machine.h"
#include "installed_updater.h"
#include "locations/updater_locations.h"
#include "runtime_error_matcher.h"
#include "setup/setup_machine.h"
#include "setup/updater_installation.h"
#include "bridge/control_action.h"
#include "os/service_manager.h"

namespace ostrel {
namespace {

using namespace fake;
using State = FakeService::State;
using testing::ElementsAre;
using testing::SizeIs;

class ReplacementPreparationTest : public testing::Test {
 protected:
  void SetUp() override { test::ArrangeInstalledUpdater(); }
};

struct PreparationCase {
  const char* name;
  std::function<void()> arrange;
  int controls;
};

class PreparationSuccessTest : public ReplacementPreparationTest,
                               public testing::WithParamInterface<PreparationCase> {};

TEST_P(PreparationSuccessTest, LeavesTheServiceStoppedAndEverythingElseAsItWas) {
  GetParam().arrange();
  auto before = test::MachineState();
  PrepareReplacement();
  FakeService* service = Machine().services.Find(ServiceName);
  if (service != nullptr) {
    EXPECT_EQ(service->state, State::Stopped);
    EXPECT_EQ(service->configuration.startType, os::ServiceDisabled);
    EXPECT_EQ(service->configuration.binaryPathName, u"\"C:\\Old\\OstrelUpdate.exe\" --service")
        << "only the start type changes";
    EXPECT_THAT(service->controls, SizeIs(GetParam().controls));
    EXPECT_FALSE(service->markedForDeletion);
  }
  EXPECT_EQ(std::get<0>(test::MachineState()), std::get<0>(before)) << "no file changed";
  EXPECT_EQ(std::get<1>(test::MachineState()), std::get<1>(before)) << "no registry value changed";
  EXPECT_TRUE(Machine().services.openHandles.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Services, PreparationSuccessTest,
    testing::Values(PreparationCase{"NoService", [] {}, 0},
                    PreparationCase{"AlreadyStopped", [] { Machine().services.AddService(ServiceName); }, 1},
                    PreparationCase{"Running", [] { Machine().services.AddService(ServiceName, State::Running); }, 1}),
    [](const testing::TestParamInfo<PreparationCase>& info) { return info.param.name; });

struct PreparationFailure {
  const char* name;
  std::function<void()> arrange;
  const char* message;
};

class PreparationFailureTest : public ReplacementPreparationTest,
                               public testing::WithParamInterface<PreparationFailure> {};

TEST_P(PreparationFailureTest, FailsWithTheStepsMessage) {
  Machine().services.AddService(ServiceName, State::Running);
  GetParam().arrange();
  EXPECT_THAT([] { PrepareReplacement(); }, FailsWith(GetParam().message));
  EXPECT_TRUE(Machine().services.openHandles.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, PreparationFailureTest,
    testing::Values(
        PreparationFailure{"OpenManager", [] { Machine().services.openManagerResult = os::ErrorAccessDenied; },
                           "Open updater preparation (5)"},
        PreparationFailure{"InspectService", [] { Machine().services.openServiceResult = os::ErrorAccessDenied; },
                           "Cannot inspect existing updater"},
        PreparationFailure{"DisableRefused",
                           [] { Machine().services.changeServiceConfigResult = os::ErrorAccessDenied; },
                           "Disable updater before replacement (5)"},
        PreparationFailure{"StopRefused", [] { Machine().services.controlServiceResult = 1061; },
                           "Stop updater before replacement (1061)"},
        PreparationFailure{"StatusUnreadable",
                           [] { Machine().services.queryServiceStatusResult = os::ErrorInvalidHandle; },
                           "Read updater preparation status (6)"},
        PreparationFailure{"NeverStops", [] { Machine().services.Find(ServiceName)->neverStops = true; },
                           "Updater has not stopped; its executable was not replaced"},
        PreparationFailure{"FromACopyElsewhere",
                           [] { Machine().moduleFileName = u"C:\\Users\\Public\\OstrelUpdate.exe"; },
                           "Updater is not installed in its fixed application directory"}),
    [](const testing::TestParamInfo<PreparationFailure>& info) { return info.param.name; });

TEST_F(ReplacementPreparationTest, WithoutElevationSendsNoStop) {
  Machine().identity = FakeIdentity::StandardUser();
  FakeService& service = Machine().services.AddService(ServiceName, State::Running);
  EXPECT_THAT([] { PrepareReplacement(); }, FailsWith("Preparing an update requires elevation"));
  EXPECT_TRUE(service.controls.empty());
  EXPECT_EQ(service.state, State::Running);
}

TEST_F(ReplacementPreparationTest, DisablesTheServiceBeforeItAsksItToStop) {
  FakeService& service = Machine().services.AddService(ServiceName, State::Running);
  Machine().services.changeServiceConfigResult = os::ErrorAccessDenied;
  EXPECT_THAT([] { PrepareReplacement(); }, FailsWith("Disable updater before replacement (5)"));
  EXPECT_TRUE(service.controls.empty()) << "a service that could be started again is not stopped";
}

// Between "--prepare-install" and the next "--install" nobody can start the
// service: not the extension's "check", not any user.
TEST_F(ReplacementPreparationTest, NobodyCanStartTheServiceUntilTheNextInstallation) {
  InstallUpdater(u"1.0.0");
  RunControlAction(u"check");
  ASSERT_EQ(Machine().services.Find(ServiceName)->state, State::Running);
  PrepareReplacement();

  EXPECT_THAT([] { RunControlAction(u"check"); }, FailsWith("Start native updater (1058)"));
  Machine().identity = FakeIdentity::StandardUser();
  os::ServiceHandle manager;
  os::ServiceHandle service;
  ASSERT_EQ(os::OpenSCManager(os::ScManagerConnect, manager), std::nullopt);
  ASSERT_EQ(os::OpenService(manager, ServiceName, os::ServiceStart, service), std::nullopt);
  EXPECT_EQ(os::StartService(service), os::ErrorServiceDisabled);
  EXPECT_EQ(Machine().services.Find(ServiceName)->state, State::Stopped);

  Machine().identity = FakeIdentity();  // the elevated administrator again
  InstallUpdater(u"1.0.0");
  EXPECT_EQ(Machine().services.Find(ServiceName)->configuration.startType, os::ServiceDemandStart);
  Machine().identity = FakeIdentity::StandardUser();
  EXPECT_EQ(os::StartService(service), std::nullopt);
  EXPECT_EQ(Machine().services.Find(ServiceName)->state, State::Running);
}

TEST_F(ReplacementPreparationTest, WaitsSixtySecondsForAServiceThatNeverStops) {
  Machine().services.AddService(ServiceName, State::Running).neverStops = true;
  EXPECT_THAT([] { PrepareReplacement(); }, FailsWith("Updater has not stopped; its executable was not replaced"));
  EXPECT_THAT(Machine().sleeps, SizeIs(120));
  EXPECT_THAT(Machine().services.Find(ServiceName)->controls, ElementsAre(os::ServiceControlStop))
      << "the stop request stays in effect";
}

}  // namespace
}  // namespace ostrel
