#include "setup/updater_removal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fake_os/fake_machine.h"
#include "foundation/path_join.h"
#include "installed_updater.h"
#include "locations/updater_locations.h"
#include "os/access_rights.h"
#include "runtime_error_matcher.h"
#include "security/transaction_lock.h"
#include "state/registry_state.h"

namespace ostrel {
namespace {

using namespace fake;
using State = FakeService::State;
using testing::AllOf;
using testing::Each;
using testing::ElementsAre;
using testing::Eq;
using testing::IsEmpty;
using testing::Not;
using testing::SizeIs;

constexpr std::u16string_view HostKey = u"SOFTWARE\\Chromium\\NativeMessagingHosts\\is.ostrel.updater";
constexpr std::u16string_view Manifest = u"C:\\Program Files\\Ostrel\\Updater\\native-host.json";

std::optional<FakeRegistryValue> Uninstalling() {
  return Machine().registry.Stored(RegistryView::Bit64, UpdaterRegistryKey, u"Uninstalling");
}

void Register(FakeRegistryValue value) {
  Machine().registry.SetValue(RegistryView::Bit64, HostKey, u"", std::move(value));
}

bool Registered() { return Machine().registry.keys.contains(FakeRegistry::Path(RegistryView::Bit64, HostKey)); }

std::u16string LockPath() { return JoinPath(UpdaterDataDirectory(), TransactionLockName); }

// An apply worker installing: the lock held open without sharing.
std::uintptr_t HoldLock() {
  Machine().fileSystem.AddFile(LockPath());
  return Machine().fileSystem.HoldOpen(LockPath(), os::GenericRead | os::GenericWrite, 0);
}

class UpdaterRemovalTest : public testing::Test {
 protected:
  void SetUp() override {
    test::ArrangeInstalledUpdater();
    Register(FakeRegistryValue::String(Manifest));
  }

  void ExpectNoHandleLeft() {
    EXPECT_TRUE(Machine().services.openHandles.empty());
    EXPECT_TRUE(Machine().handles.open.empty()) << "the lock is released";
  }
};

TEST_F(UpdaterRemovalTest, StopsAndDeletesTheServiceAndRemovesItsRegistration) {
  Machine().services.AddService(ServiceName, State::Running);
  RemoveUpdater();
  EXPECT_EQ(Machine().services.Find(ServiceName), nullptr) << "deleted once its last handle closed";
  EXPECT_FALSE(Registered());
  EXPECT_EQ(Uninstalling(), FakeRegistryValue::Dword(1));
  EXPECT_NE(Machine().fileSystem.Find(LockPath()), nullptr) << "no file is deleted";
  EXPECT_NE(Machine().fileSystem.Find(JoinPath(UpdaterDirectory(), UpdaterExecutableName)), nullptr);
  EXPECT_THAT(Machine().services.closed, ElementsAre(ServiceName, u"manager"));
  ExpectNoHandleLeft();
}

TEST_F(UpdaterRemovalTest, HoldsTheLockUntilTheServiceAndTheRegistrationAreDeleted) {
  Machine().services.AddService(ServiceName, State::Running);
  std::vector<bool> lockHeldAtDeletion;
  Machine().registry.beforeDelete = [&lockHeldAtDeletion] {
    EXPECT_TRUE(Machine().services.Find(ServiceName)->markedForDeletion) << "the service is deleted first";
    lockHeldAtDeletion.push_back(IsTransactionActive());
  };
  RemoveUpdater();
  EXPECT_FALSE(Registered());
  EXPECT_THAT(lockHeldAtDeletion, AllOf(Not(IsEmpty()), Each(true)));
}

TEST_F(UpdaterRemovalTest, RemovesTheRegistrationOfThe64BitViewOnly) {
  const std::u16string below = std::u16string(HostKey) + u"\\Extra";
  Machine().registry.SetValue(RegistryView::Bit64, below, u"", FakeRegistryValue::Dword(1));
  Machine().registry.SetValue(RegistryView::Bit32, HostKey, u"", FakeRegistryValue::String(Manifest));
  RemoveUpdater();
  EXPECT_FALSE(Registered());
  EXPECT_FALSE(Machine().registry.keys.contains(FakeRegistry::Path(RegistryView::Bit64, below)))
      << "with every key below it";
  EXPECT_EQ(Machine().registry.Stored(RegistryView::Bit32, HostKey, u""), FakeRegistryValue::String(Manifest))
      << "a 32-bit registration is another program's";
  EXPECT_TRUE(Machine().registry.openKeys.empty());
}

TEST_F(UpdaterRemovalTest, WithoutAServiceStillTakesTheLockAndRemovesTheRegistration) {
  RemoveUpdater();
  EXPECT_FALSE(Registered());
  EXPECT_NE(Machine().fileSystem.Find(LockPath()), nullptr);
  ExpectNoHandleLeft();
}

TEST_F(UpdaterRemovalTest, AcceptsAStoppedServiceAndOneMarkedForDeletion) {
  FakeService& service = Machine().services.AddService(ServiceName, State::Stopped);
  service.markedForDeletion = true;
  // Something else still holds it open, so it stays marked.
  os::ServiceHandle manager, other;
  ASSERT_EQ(os::OpenSCManager(os::ScManagerConnect, manager), std::nullopt);
  ASSERT_EQ(os::OpenService(manager, ServiceName, os::ServiceQueryStatus, other), std::nullopt);
  RemoveUpdater();
  EXPECT_THAT(service.controls, ElementsAre(os::ServiceControlStop)) << "refused with 1062, accepted";
  EXPECT_TRUE(service.markedForDeletion);
  EXPECT_TRUE(Machine().sleeps.empty()) << "the first query shows it stopped";
}

TEST_F(UpdaterRemovalTest, WaitsForAnApplyWorkerHoldingTheLock) {
  std::uintptr_t worker = HoldLock();
  Machine().whileSleeping = [worker] {
    if (Machine().sleeps.size() == 300) Machine().fileSystem.openFiles.erase(worker);
  };
  RemoveUpdater();
  EXPECT_THAT(Machine().sleeps, SizeIs(300));
  EXPECT_THAT(Machine().sleeps, Each(Eq(1000u)));
  EXPECT_FALSE(Registered());
}

struct RegistrationCase {
  const char* name;
  FakeRegistryValue value;
  bool removed;
};

class RegistrationRemovalTest : public UpdaterRemovalTest, public testing::WithParamInterface<RegistrationCase> {};

TEST_P(RegistrationRemovalTest, RemovesOnlyThisInstallationsRegistration) {
  Register(GetParam().value);
  RemoveUpdater();
  EXPECT_EQ(Registered(), !GetParam().removed);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegistrationRemovalTest,
    testing::Values(
        RegistrationCase{"OtherLetterCase",
                         FakeRegistryValue::String(u"c:\\program files\\OSTREL\\updater\\NATIVE-HOST.JSON"), true},
        RegistrationCase{"ForwardSlashes",
                         FakeRegistryValue::String(u"C:/Program Files/Ostrel/Updater/native-host.json"), true},
        RegistrationCase{"ManifestElsewhere", FakeRegistryValue::String(u"C:\\Other\\native-host.json"), false},
        RegistrationCase{"NotAString", FakeRegistryValue::Dword(1), false},
        RegistrationCase{"LongerThanTheBuffer", FakeRegistryValue::String(std::u16string(40000, u'a')), false}),
    [](const testing::TestParamInfo<RegistrationCase>& info) { return info.param.name; });

struct RemovalFailure {
  const char* name;
  std::function<void()> arrange;
  const char* message;
};

class RemovalFailureTest : public UpdaterRemovalTest, public testing::WithParamInterface<RemovalFailure> {};

TEST_P(RemovalFailureTest, FailsWithUninstallingSetAndTheServiceKept) {
  Machine().services.AddService(ServiceName, State::Running);
  GetParam().arrange();
  EXPECT_THAT([] { RemoveUpdater(); }, FailsWith(GetParam().message));
  EXPECT_EQ(Uninstalling(), FakeRegistryValue::Dword(1));
  ASSERT_NE(Machine().services.Find(ServiceName), nullptr);
  EXPECT_FALSE(Machine().services.Find(ServiceName)->markedForDeletion);
  EXPECT_TRUE(Registered());
  ExpectNoHandleLeft();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RemovalFailureTest,
    testing::Values(
        RemovalFailure{"OpenManager", [] { Machine().services.openManagerResult = os::ErrorAccessDenied; },
                       "Open updater removal (5)"},
        RemovalFailure{"InspectService", [] { Machine().services.openServiceResult = os::ErrorAccessDenied; },
                       "Cannot inspect updater service for removal"},
        RemovalFailure{"StopRefused", [] { Machine().services.controlServiceResult = 1061; },
                       "Stop updater for removal (1061)"},
        RemovalFailure{"StatusUnreadable", [] { Machine().services.queryServiceStatusResult = os::ErrorInvalidHandle; },
                       "Read updater removal status (6)"},
        RemovalFailure{"NeverStops",
                       [] {
                         Machine().services.Find(ServiceName)->neverStops = true;
                         Machine().whileSleeping = [] { EXPECT_LE(Machine().sleeps.size(), 120u); };
                       },
                       "Updater has not stopped; no application files were removed"},
        RemovalFailure{"LockHeldThroughout",
                       [] { HoldLock(); },
                       "An update is still finishing; uninstall did not remove application files"},
        RemovalFailure{"LockUnopenable", [] { Machine().fileSystem.AddDirectory(LockPath()); },
                       "Cannot inspect pending update transaction"},
        RemovalFailure{"DeleteRefused", [] { Machine().services.deleteServiceResult = os::ErrorAccessDenied; },
                       "Remove updater service (5)"}),
    [](const testing::TestParamInfo<RemovalFailure>& info) { return info.param.name; });

// A stopping service announces at most 30 seconds; removal waits twice as
// long before it calls one stuck.
TEST_F(UpdaterRemovalTest, NeverStoppingServiceIsQueriedForSixtySecondsHalfASecondApart) {
  Machine().services.AddService(ServiceName, State::Running).neverStops = true;
  EXPECT_THAT([] { RemoveUpdater(); }, FailsWith("Updater has not stopped; no application files were removed"));
  EXPECT_THAT(Machine().sleeps, SizeIs(120));
  EXPECT_THAT(Machine().sleeps, Each(Eq(500u)));
}

TEST_F(UpdaterRemovalTest, WithoutElevationLeavesUninstallingUntouched) {
  Machine().identity = FakeIdentity::StandardUser();
  Machine().services.AddService(ServiceName, State::Running);
  EXPECT_THAT([] { RemoveUpdater(); }, FailsWith("Removing the updater requires elevation"));
  EXPECT_EQ(Uninstalling(), std::nullopt);
  EXPECT_TRUE(Machine().services.Find(ServiceName)->controls.empty());
}

}  // namespace
}  // namespace ostrel
