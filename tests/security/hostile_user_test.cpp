// What an ordinary, unprivileged user of the machine can arrange around the
// updater's working directory, and the updater refusing each arrangement.
// The user acts through the os/ boundary with his own token, so the fake's
// access checks decide what he manages to do, as Windows would.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include "fake_os/fake_machine.h"
#include "foundation/path_join.h"
#include "locations/updater_locations.h"
#include "os/file.h"
#include "os/file_system.h"
#include "os/security_descriptor.h"
#include "security/protected_directory.h"
#include "state/registry_state.h"
#include "state/updater_status.h"

namespace ostrel {
namespace {

using namespace fake;

// A folder as a user makes it: no owner given, so he owns it.
constexpr std::u16string_view UserFolderSddl = u"D:(A;OICI;FA;;;BU)";

// Runs the arrangement with the user's token, then the updater's again.
void AsUser(const std::function<void()>& arrangement) {
  FakeIdentity updater = std::exchange(Machine().identity, FakeIdentity::StandardUser());
  arrangement();
  Machine().identity = updater;
}

os::Failure CreateUserFolder(std::u16string_view path) {
  os::SecurityDescriptor descriptor;
  EXPECT_EQ(os::ConvertStringSecurityDescriptorToSecurityDescriptor(UserFolderSddl, os::SddlRevision1, descriptor),
            std::nullopt);
  return os::CreateDirectory(path, descriptor);
}

// What every role does first: ensure the working directory, then publish a
// status. "" when both succeeded, otherwise the step that refused and why.
std::string RunUpdater() {
  std::string step = "ensure: ";
  try {
    EnsureProtectedDirectory(UpdaterDataDirectory());
    step = "publish: ";
    WriteStatus(u"checking", u"", "");
  } catch (const std::runtime_error& failure) {
    return step + failure.what();
  }
  return "";
}

std::u16string Data(std::u16string_view name) { return JoinPath(UpdaterDataDirectory(), name); }

// The updater runs as LocalSystem on a machine with a browser installed.
class HostileUserTest : public testing::Test {
 protected:
  HostileUserTest() {
    Machine().identity = FakeIdentity::LocalSystem();
    Machine().registry.SetValue(RegistryView::Bit64, UpdaterRegistryKey, u"Version",
                                FakeRegistryValue::String(u"1.0.0"));
  }
};

struct HostileCase {
  const char* name;
  void (*arrange)();
  const char* refusal;
};

class HostileArrangementTest : public HostileUserTest, public testing::WithParamInterface<HostileCase> {};

TEST_P(HostileArrangementTest, IsRefusedAndNoStatusIsPublished) {
  GetParam().arrange();
  // The files as the updater's run may leave them: its temporary aside, and
  // the working directory itself, which a user may create during the run.
  auto Files = [] {
    std::map<std::u16string, std::string> files;
    for (const auto& [key, file] : Machine().fileSystem.files) {
      if (!key.ends_with(u"\\STATUS.TMP") && !key.ends_with(u"\\OSTRELNATIVEUPDATER")) files[key] = file->contents;
    }
    return files;
  };
  std::map<std::u16string, std::string> before = Files();

  EXPECT_EQ(RunUpdater(), GetParam().refusal);

  EXPECT_EQ(Files(), before) << "the updater changed what it refused";
  EXPECT_TRUE(Machine().handles.open.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Arrangements, HostileArrangementTest,
    testing::Values(
        HostileCase{"PreCreatedWorkingDirectory",
                    [] { AsUser([] { EXPECT_EQ(CreateUserFolder(UpdaterDataDirectory()), std::nullopt); }); },
                    "ensure: Updater object has an untrusted owner or ACL"},
        // Between the updater's look at the name and its CreateDirectoryW.
        HostileCase{"DirectoryCreatedInTheGap",
                    [] {
                      Machine().fileSystem.beforeCreateDirectory = [](std::u16string_view path) {
                        Machine().fileSystem.beforeCreateDirectory = nullptr;
                        AsUser([&] { EXPECT_EQ(CreateUserFolder(path), std::nullopt); });
                      };
                    },
                    "ensure: Updater object has an untrusted owner or ACL"},
        HostileCase{"JunctionAtTheWorkingDirectory",
                    [] {
                      AsUser([] { EXPECT_EQ(CreateUserFolder(u"C:\\ProgramData\\elsewhere"), std::nullopt); });
                      Machine().fileSystem.AddJunction(UpdaterDataDirectory(), u"C:\\ProgramData\\elsewhere").security =
                          Machine().fileSystem.Find(u"C:\\ProgramData\\elsewhere")->security;
                    },
                    "ensure: Updater reparse point rejected"},
        // Users may read the published status, and so hold it open.
        HostileCase{"StatusHeldOpenWithoutSharingDelete",
                    [] {
                      EXPECT_EQ(RunUpdater(), "");
                      AsUser([] {
                        os::Handle held;
                        EXPECT_EQ(os::CreateFile(Data(StatusFileName), os::GenericRead, os::FileShareRead,
                                                 os::OpenExisting, 0, held),
                                  std::nullopt);
                        Machine().handles.open.erase(held.value());  // it stays open in the user's process
                      });
                    },
                    "publish: Commit updater status (5)"}),
    [](const testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

TEST_F(HostileUserTest, CannotChangeWhatIsInTheProtectedDirectory) {
  ASSERT_EQ(RunUpdater(), "");
  AsUser([] {
    os::Handle file;
    EXPECT_EQ(os::CreateFile(Data(StatusFileName), os::GenericWrite, 0, os::OpenExisting, 0, file),
              os::ErrorAccessDenied);
    EXPECT_EQ(os::CreateFile(Data(u"planted.exe"), os::GenericWrite, 0, os::CreateAlways, 0, file),
              os::ErrorAccessDenied);
    EXPECT_EQ(CreateUserFolder(Data(u"planted")), os::ErrorAccessDenied);
    EXPECT_EQ(os::DeleteFile(Data(StatusFileName)), os::ErrorAccessDenied);
    EXPECT_EQ(os::CreateFile(u"C:\\ProgramData\\mine.exe", os::GenericWrite, 0, os::CreateAlways, 0, file),
              std::nullopt);
    file = os::Handle();
    EXPECT_EQ(os::MoveFileEx(u"C:\\ProgramData\\mine.exe", Data(u"Ostrel-Setup-9.9.9.exe"), 0),
              os::ErrorAccessDenied);
  });
}

}  // namespace
}  // namespace ostrel
