#include "setup/updater_installation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "fake_os/fake_machine.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "locations/updater_locations.h"
#include "os/service_manager.h"
#include "runtime_error_matcher.h"
#include "security/protected_directory.h"
#include "setup/setup_machine.h"
#include "state/registry_state.h"

namespace ostrel {
namespace {

using namespace fake;
using testing::ElementsAre;

constexpr std::u16string_view HostKey = u"SOFTWARE\\Chromium\\NativeMessagingHosts\\is.ostrel.updater";
constexpr std::u16string_view Executable = u"C:\\Program Files\\Ostrel\\Updater\\OstrelUpdate.exe";
constexpr std::u16string_view Manifest = u"C:\\Program Files\\Ostrel\\Updater\\native-host.json";
constexpr std::u16string_view CommandLine = u"\"C:\\Program Files\\Ostrel\\Updater\\OstrelUpdate.exe\" --service";

std::string FileText(std::u16string_view path) {
  FakeFile* file = Machine().fileSystem.Find(path);
  return file == nullptr ? "<missing>" : file->contents;
}

// Whether a standard user's token may open the updater's service with the
// access; the service's own security decides.
bool StandardUserMayOpen(std::uint32_t access) {
  FakeIdentity installer = std::exchange(Machine().identity, FakeIdentity::StandardUser());
  os::ServiceHandle manager;
  os::ServiceHandle service;
  bool opened =
      !os::OpenSCManager(os::ScManagerConnect, manager) && !os::OpenService(manager, ServiceName, access, service);
  Machine().identity = installer;
  return opened;
}

class UpdaterInstallationTest : public testing::Test {
 protected:
  void SetUp() override { test::ArrangeUpdaterFiles(); }

  void ExpectInstalled(std::u16string_view version) {
    FakeService* service = Machine().services.Find(ServiceName);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->configuration,
              (os::ServiceConfiguration{os::ServiceWin32OwnProcess, os::ServiceDemandStart, os::ServiceErrorNormal,
                                        std::u16string(CommandLine)}));
    EXPECT_EQ(FileText(Manifest),
              std::string(R"({"name":"is.ostrel.updater","description":"Ostrel native update control",)") +
                  R"("path":"C:\\Program Files\\Ostrel\\Updater\\OstrelUpdate.exe","type":"stdio",)" +
                  R"("allowed_origins":["chrome-extension://inmdpcjjlckfjmggcpdcmbooiogihncc/"]})");
    EXPECT_EQ(Machine().registry.Stored(RegistryView::Bit64, HostKey, u""), FakeRegistryValue::String(Manifest));
    EXPECT_EQ(Machine().registry.Value(RegistryView::Bit32, HostKey, u""), nullptr) << "the 64-bit view only";
    EXPECT_EQ(Machine().registry.Stored(RegistryView::Bit64, UpdaterRegistryKey, u"Version"),
              FakeRegistryValue::String(version));
    EXPECT_EQ(Machine().registry.Stored(RegistryView::Bit64, UpdaterRegistryKey, u"Uninstalling"),
              FakeRegistryValue::Dword(0));
    EXPECT_EQ(FileText(JoinPath(UpdaterDataDirectory(), StatusFileName)),
              R"({"ok":true,"state":"up_to_date","installedVersion":")" + ToUtf8(version) + R"("})");
    EXPECT_TRUE(Machine().services.openHandles.empty());
    EXPECT_TRUE(Machine().handles.open.empty());
    EXPECT_TRUE(Machine().fileSystem.descriptors.empty()) << "every descriptor released";
  }
};

TEST_F(UpdaterInstallationTest, RegistersTheSecuredServiceTheHostAndTheVersion) {
  InstallUpdater(u"1.2.3");
  ExpectInstalled(u"1.2.3");
  FakeService& service = *Machine().services.Find(ServiceName);
  EXPECT_EQ(service.displayName, u"Ostrel sjálfvirkar uppfærslur");
  EXPECT_EQ(service.state, FakeService::State::Stopped) << "installation does not start it";
  EXPECT_EQ(service.starts, 0);
  EXPECT_THAT(Machine().services.closed, ElementsAre(ServiceName, u"manager"));
}

TEST_F(UpdaterInstallationTest, LetsAStandardUserStartAndStopButNotDeleteOrReconfigure) {
  InstallUpdater(u"1.2.3");
  EXPECT_TRUE(StandardUserMayOpen(os::ServiceStart | os::ServiceStop | os::ServiceQueryStatus));
  EXPECT_FALSE(StandardUserMayOpen(os::Delete));
  EXPECT_FALSE(StandardUserMayOpen(os::ServiceChangeConfig));
  EXPECT_FALSE(StandardUserMayOpen(os::WriteDac));
  EXPECT_TRUE(Machine().services.Find(ServiceName)->security.daclProtected);
}

TEST_F(UpdaterInstallationTest, RunTwiceReconfiguresAndSucceeds) {
  InstallUpdater(u"1.2.3");
  InstallUpdater(u"1.2.4");
  ExpectInstalled(u"1.2.4");
}

TEST_F(UpdaterInstallationTest, KeepsAnExistingServicesDisplayNameAndResetsItsCommandLine) {
  FakeService& existing = Machine().services.AddService(ServiceName, FakeService::State::Running);
  existing.displayName = u"Someone else's name";
  existing.configuration = {0x20, 2, 0, u"C:\\elsewhere.exe"};
  InstallUpdater(u"1.2.3-beta.1");
  ExpectInstalled(u"1.2.3-beta.1");
  EXPECT_EQ(existing.displayName, u"Someone else's name");
  EXPECT_EQ(existing.state, FakeService::State::Running) << "a running service is left running";
}

struct InstallFailure {
  const char* name;
  std::function<void()> arrange;
  std::u16string version;
  const char* message;
};

class InstallFailureTest : public UpdaterInstallationTest, public testing::WithParamInterface<InstallFailure> {};

TEST_P(InstallFailureTest, FailsWithTheStepsMessage) {
  GetParam().arrange();
  EXPECT_THAT([] { InstallUpdater(GetParam().version); }, FailsWith(GetParam().message));
  EXPECT_TRUE(Machine().services.openHandles.empty());
  EXPECT_TRUE(Machine().handles.open.empty());
  EXPECT_TRUE(Machine().fileSystem.descriptors.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, InstallFailureTest,
    testing::Values(
        InstallFailure{"OpenServiceManager", [] { Machine().services.openManagerResult = os::ErrorAccessDenied; },
                       u"1.2.3", "Open service manager (5)"},
        InstallFailure{"ServiceMarkedForDeletion",
                       [] { Machine().services.AddService(ServiceName).markedForDeletion = true; }, u"1.2.3",
                       "Register updater service (1072)"},
        InstallFailure{"ExistingServiceCannotBeOpened",
                       [] {
                         Machine().services.AddService(ServiceName);
                         Machine().services.openServiceResult = os::ErrorAccessDenied;
                       },
                       u"1.2.3", "Register updater service (5)"},
        InstallFailure{"Configure",
                       [] { Machine().services.changeServiceConfigResult = os::ErrorInvalidParameter; }, u"1.2.3",
                       "Configure updater service (87)"},
        // The working directory exists, so only the service's descriptor is built.
        InstallFailure{"BuildServiceAcl",
                       [] {
                         EnsureProtectedDirectory(UpdaterDataDirectory());
                         Machine().fileSystem.convertSecurityDescriptorResult = os::ErrorInvalidParameter;
                       },
                       u"1.2.3", "Build service ACL (87)"},
        InstallFailure{"Secure", [] { Machine().services.setServiceObjectSecurityResult = os::ErrorAccessDenied; },
                       u"1.2.3", "Secure updater service (5)"},
        InstallFailure{"OpenRegistry", [] { Machine().registry.createKeyResult = os::ErrorAccessDenied; }, u"1.2.3",
                       "Open updater registry (5)"},
        InstallFailure{"WriteRegistry", [] { Machine().registry.setValueResult = os::ErrorAccessDenied; }, u"1.2.3",
                       "Cannot write updater registry"}),
    [](const testing::TestParamInfo<InstallFailure>& info) { return info.param.name; });

// Refusals before anything is changed.
class InstallRefusalTest : public UpdaterInstallationTest, public testing::WithParamInterface<InstallFailure> {};

TEST_P(InstallRefusalTest, ChangesNothing) {
  GetParam().arrange();
  auto before = test::MachineState();
  EXPECT_THAT([] { InstallUpdater(GetParam().version); }, FailsWith(GetParam().message));
  EXPECT_EQ(test::MachineState(), before);
  EXPECT_TRUE(Machine().services.openHandles.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, InstallRefusalTest,
    testing::Values(InstallFailure{"WithoutElevation", [] { Machine().identity = FakeIdentity::StandardUser(); },
                                   u"1.2.3", "Installing the updater requires elevation"},
                    InstallFailure{"FromACopyElsewhere",
                                   [] { Machine().moduleFileName = u"C:\\Users\\Public\\OstrelUpdate.exe"; },
                                   u"1.2.3", "Updater is not installed in its fixed application directory"},
                    InstallFailure{"ShortVersion", [] {}, u"1.2", "Invalid release version"},
                    InstallFailure{"NumericPrereleaseWithLeadingZero", [] {}, u"1.2.3-01",
                                   "Invalid numeric prerelease identifier"}),
    [](const testing::TestParamInfo<InstallFailure>& info) { return info.param.name; });

}  // namespace
}  // namespace ostrel
