#include "bridge/control_action.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bridge/bridge_machine.h"
#include "fake_os/fake_machine.h"
#include "foundation/failure.h"
#include "foundation/text_conversion.h"
#include "os/service_manager.h"
#include "runtime_error_matcher.h"
#include "state/machine_policy.h"

namespace ostrel {
namespace {

using namespace fake;
using State = FakeService::State;
using testing::ElementsAre;
using testing::HasSubstr;

constexpr std::u16string_view Updater = u"OstrelNativeUpdater";
constexpr const char* Published = R"({"ok":true,"state":"ready","installedVersion":"1.2.3","availableVersion":"1.3.0"})";
constexpr const char* Checking = R"({"ok":true,"state":"checking","installedVersion":"1.2.3"})";
constexpr const char* Installing = R"({"ok":true,"state":"installing","installedVersion":"1.2.3"})";

std::string Reply(std::u16string_view action) { return ToUtf8(RunControlAction(action).Stringify()); }

FakeService& InstallService(State state) { return Machine().services.AddService(Updater, state); }

void Publish(std::string document) { Machine().fileSystem.AddFile(test::StatusPath, std::move(document)); }

void HoldTransactionLock() {
  Machine().fileSystem.AddFile(test::LockPath);
  Machine().fileSystem.HoldOpen(test::LockPath, os::GenericRead | os::GenericWrite, 0);
}

void BeginUninstall() {
  Machine().registry.SetValue(RegistryView::Bit64, UpdaterRegistryKey, u"Uninstalling", FakeRegistryValue::Dword(1));
}

void ExpectNoServiceHandleLeft() { EXPECT_TRUE(Machine().services.openHandles.empty()); }

class ControlActionTest : public testing::Test {
 protected:
  void SetUp() override { test::ArrangeInstalledUpdater(u"1.2.3"); }
};

TEST_F(ControlActionTest, CheckStartsTheStoppedServiceAndAnswersWithThePublishedStatus) {
  FakeService& service = InstallService(State::Stopped);
  Publish(Published);
  EXPECT_EQ(Reply(u"check"), Published);
  EXPECT_EQ(service.starts, 1);
  EXPECT_THAT(Machine().services.closed, ElementsAre(Updater, u"manager")) << "the service first, then the manager";
  ExpectNoServiceHandleLeft();
}

TEST_F(ControlActionTest, AsksForNoMoreThanOrdinaryUsersAreGranted) {
  InstallService(State::Stopped);
  Machine().identity = FakeIdentity::StandardUser();
  EXPECT_EQ(Reply(u"check"), Checking);
  EXPECT_EQ(Reply(u"stop"), Checking);
  EXPECT_THAT(Machine().services.Find(Updater)->controls, ElementsAre(os::ServiceControlStop));
}

TEST_F(ControlActionTest, CheckOnARunningServiceAndStopOnAStoppedOneAreDone) {
  FakeService& service = InstallService(State::Running);
  Publish(Published);
  EXPECT_EQ(Reply(u"check"), Published);
  EXPECT_EQ(service.starts, 0) << "already running (1056)";
  EXPECT_EQ(Reply(u"stop"), Published);
  EXPECT_EQ(service.state, State::Stopped);
  EXPECT_EQ(Reply(u"stop"), Published) << "not active (1062)";
  EXPECT_EQ(service.controls.size(), 2u);
  ExpectNoServiceHandleLeft();
}

TEST_F(ControlActionTest, StatusNeverTouchesTheService) {
  Publish(Published);
  EXPECT_EQ(Reply(u"status"), Published);
  EXPECT_TRUE(Machine().services.closed.empty());
}

TEST_F(ControlActionTest, DuringAnUninstallOnlyStatusIsServed) {
  FakeService& service = InstallService(State::Running);
  BeginUninstall();
  Publish(Published);
  EXPECT_EQ(Reply(u"status"), Published);
  EXPECT_THAT([] { RunControlAction(u"check"); }, FailsWith("Ostrel is being uninstalled"));
  EXPECT_THAT([] { RunControlAction(u"stop"); }, FailsWith("Ostrel is being uninstalled"));
  EXPECT_EQ(service.state, State::Running);
  EXPECT_TRUE(service.controls.empty());
}

void TurnUpdatesOff() {
  Machine().registry.SetValue(RegistryView::Bit64, MachinePolicyKey, UpdatesEnabledPolicy.name,
                              FakeRegistryValue::Dword(0));
}

TEST_F(ControlActionTest, UpdatesTurnedOffByPolicyRefuseOnlyCheck) {
  FakeService& service = InstallService(State::Running);
  TurnUpdatesOff();
  Publish(Published);
  Machine().identity = FakeIdentity::StandardUser();
  EXPECT_THAT([] { RunControlAction(u"check"); }, FailsWith("Updates are turned off by machine policy"));
  EXPECT_EQ(service.starts, 0);
  EXPECT_EQ(Reply(u"status"), Published);
  EXPECT_EQ(Reply(u"stop"), Published);
  EXPECT_EQ(service.state, State::Stopped);
}

TEST_F(ControlActionTest, APolicyKeyUsersCanWriteDoesNotRefuseCheck) {
  FakeService& service = InstallService(State::Stopped);
  TurnUpdatesOff();
  FakeSecurity security = TrustedKeySecurity();
  security.dacl->push_back(Allowed(UsersSid, os::KeySetValue));
  Machine().registry.security[FakeRegistry::Path(RegistryView::Bit64, MachinePolicyKey)] = security;
  Publish(Published);
  EXPECT_EQ(Reply(u"check"), Published);
  EXPECT_EQ(service.starts, 1);
}

TEST_F(ControlActionTest, CheckDuringATransactionAnswersInstallingBeforeAnythingElse) {
  FakeService& service = InstallService(State::Stopped);
  Publish(Published);
  HoldTransactionLock();
  EXPECT_EQ(Reply(u"check"), Installing);
  BeginUninstall();
  EXPECT_EQ(Reply(u"check"), Installing);
  EXPECT_EQ(service.starts, 0);
  EXPECT_TRUE(Machine().services.closed.empty()) << "the service manager is never opened";
  EXPECT_EQ(Reply(u"status"), Published) << "only a check asks about the transaction";
}

// A stop is a stop whatever the worker does: it reaches the service and
// answers with the published status, and an uninstall still refuses it.
TEST_F(ControlActionTest, StopDuringATransactionStopsTheServiceAsAlways) {
  FakeService& service = InstallService(State::Running);
  Publish(Published);
  HoldTransactionLock();
  EXPECT_EQ(Reply(u"stop"), Published);
  EXPECT_THAT(service.controls, ElementsAre(os::ServiceControlStop));
  BeginUninstall();
  EXPECT_THAT([] { RunControlAction(u"stop"); }, FailsWith("Ostrel is being uninstalled"));
}

TEST_F(ControlActionTest, AnswersCheckingWithTheInstalledVersionBeforeAnyStatusIsPublished) {
  EXPECT_EQ(Reply(u"status"), Checking);
  Machine().fileSystem.AddFile(test::StatusPath).attributesError = 123;
  EXPECT_EQ(Reply(u"status"), Checking) << "a name that cannot exist is absent";
  Machine().registry = FakeRegistry();
  EXPECT_THAT([] { RunControlAction(u"status"); }, FailsWith("Installed Ostrel version is unavailable"));
  HoldTransactionLock();
  EXPECT_THAT([] { RunControlAction(u"check"); }, FailsWith("Installed Ostrel version is unavailable"));
}

TEST_F(ControlActionTest, ReturnsThePublishedDocumentWhateverItHolds) {
  Publish(R"({"state":"anything","extra":[1,2]})");
  EXPECT_EQ(Reply(u"status"), R"({"state":"anything","extra":[1,2]})");
  Publish(std::string(R"({"message":")") + std::string(65536 - 14, 'x') + "\"}");
  EXPECT_EQ(Reply(u"status").size(), 65536u) << "exactly the limit is read";
}

TEST_F(ControlActionTest, RefusesEveryActionFromAnyPlaceButTheFixedOne) {
  Machine().moduleFileName = u"C:\\Users\\user\\Downloads\\OstrelUpdate.exe";
  for (std::u16string_view action : {u"check", u"status", u"stop", u"other"}) {
    EXPECT_THAT([&] { RunControlAction(action); },
                FailsWith("Updater is not installed in its fixed application directory"));
  }
}

TEST_F(ControlActionTest, MatchesActionsExactly) {
  InstallService(State::Stopped);
  using namespace std::string_view_literals;
  for (std::u16string_view action : {u"Check"sv, u"STOP"sv, u"status "sv, u" status"sv, u""sv, u"stat"sv, u"check\0"sv}) {
    EXPECT_THAT([&] { RunControlAction(action); }, FailsWith("Unsupported updater request"));
  }
  EXPECT_EQ(Machine().services.Find(Updater)->starts, 0);
}

TEST_F(ControlActionTest, FailsAnExistenceTestThatFailsOtherwiseNamingThePath) {
  Machine().fileSystem.AddFile(test::StatusPath).attributesError = os::ErrorAccessDenied;
  try {
    RunControlAction(u"status");
    FAIL() << "no failure raised";
  } catch (const std::filesystem::filesystem_error& failure) {
    EXPECT_THAT(failure.what(), HasSubstr("exists"));
    EXPECT_THAT(failure.what(), HasSubstr("C:\\ProgramData\\OstrelNativeUpdater\\status.json"));
  }
}

TEST_F(ControlActionTest, RefusesAStatusFileThatIsNotADocument) {
  Publish(R"(["ready"])");
  EXPECT_THROW(RunControlAction(u"status"), hresult_error);
}

// Arranges a machine on which the action fails with the message; the
// service, when there is one, must be left with no handle open.
struct FailureCase {
  const char* name;
  void (*arrange)();
  std::u16string_view action;
  const char* message;
};

class ControlActionFailureTest : public ControlActionTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(ControlActionFailureTest, FailsWithTheStepsMessage) {
  GetParam().arrange();
  EXPECT_THAT([] { RunControlAction(GetParam().action); }, FailsWith(GetParam().message));
  ExpectNoServiceHandleLeft();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ControlActionFailureTest,
    testing::Values(
        FailureCase{"ManagerRefused", [] { Machine().services.openManagerResult = os::ErrorAccessDenied; }, u"check",
                    "Open update control (5)"},
        FailureCase{"ServiceMissing", [] {}, u"check", "Open native updater (1060)"},
        FailureCase{"ServiceNotOpenToUsers",
                    [] {
                      InstallService(State::Stopped).security.dacl->back().mask = os::ServiceQueryStatus;
                      Machine().identity = FakeIdentity::StandardUser();
                    },
                    u"stop", "Open native updater (5)"},
        FailureCase{"StartRefused",
                    [] {
                      InstallService(State::Stopped);
                      Machine().services.startServiceResult = 1058;  // disabled
                    },
                    u"check", "Start native updater (1058)"},
        FailureCase{"StopRefused",
                    [] {
                      InstallService(State::Running);
                      Machine().services.controlServiceResult = 1061;  // cannot accept the control now
                    },
                    u"stop", "Stop native updater (1061)"},
        FailureCase{"LockUnreadable",
                    [] { Machine().fileSystem.AddFile(test::LockPath).attributesError = os::ErrorAccessDenied; },
                    u"check", "Inspect update transaction (5)"},
        FailureCase{"EmptyStatusFile", [] { Publish(""); }, u"status", "Invalid metadata size"},
        FailureCase{"StatusFileTooLarge", [] { Publish(std::string(65537, ' ')); }, u"status",
                    "Invalid metadata size"},
        FailureCase{"StatusFileOpenToUsers",
                    [] {
                      Publish(Published);
                      Machine().fileSystem.Find(test::StatusPath)->security.dacl->push_back(
                          Allowed(UsersSid, os::FileWriteData));
                    },
                    u"status", "Updater object is writable by an untrusted principal"},
        FailureCase{"DataDirectoryOpenToUsers",
                    [] {
                      Publish(Published);
                      Machine().fileSystem.Find(test::DataDirectory)->security.dacl->push_back(
                          Allowed(UsersSid, os::FileAppendData));
                    },
                    u"status", "Updater object is writable by an untrusted principal"},
        FailureCase{"StatusFileUnreadable",
                    [] {
                      Publish(Published);
                      Machine().fileSystem.readFileResult = os::ErrorAccessDenied;
                    },
                    u"status", "Metadata read failed"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ostrel
