// An ordinary user arranges the updater's working directory before the
// updater is installed; the installation, run by an administrator, sets it
// aside and makes its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "fake_os/fake_machine.h"
#include "locations/updater_locations.h"
#include "os/file.h"
#include "os/file_system.h"
#include "os/security_descriptor.h"
#include "runtime_error_matcher.h"
#include "security/object_acl.h"
#include "setup/setup_machine.h"
#include "setup/updater_installation.h"

namespace ostrel {
namespace {

using namespace fake;

// Where the object was set aside: beside it, its name with a suffix of the
// installation's own choosing; "" when nothing was.
std::u16string SetAside() {
  constexpr std::u16string_view prefix = u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER.UNTRUSTED-";
  for (const auto& [key, file] : Machine().fileSystem.files) {
    if (key.starts_with(prefix) && key.find(u'\\', prefix.size()) == std::u16string::npos) return key;
  }
  return u"";
}
constexpr std::u16string_view Elsewhere = u"C:\\ProgramData\\elsewhere";

void AsUser(const std::function<void()>& arrangement) {
  FakeIdentity installer = std::exchange(Machine().identity, FakeIdentity::StandardUser());
  arrangement();
  Machine().identity = installer;
}

// A folder as a user makes it: no owner given, so he owns it.
void CreateUserFolder(std::u16string_view path) {
  AsUser([path] {
    os::SecurityDescriptor descriptor;
    ASSERT_EQ(
        os::ConvertStringSecurityDescriptorToSecurityDescriptor(u"D:(A;OICI;FA;;;BU)", os::SddlRevision1, descriptor),
        std::nullopt);
    ASSERT_EQ(os::CreateDirectory(path, descriptor), std::nullopt);
  });
}

class UntrustedDirectoryTest : public testing::Test {
 protected:
  void SetUp() override { test::ArrangeUpdaterFiles(); }
};

TEST_F(UntrustedDirectoryTest, SetsAsideAPreCreatedDirectoryWithItsContents) {
  CreateUserFolder(UpdaterDataDirectory());
  AsUser([] { Machine().fileSystem.AddFile(u"C:\\ProgramData\\OstrelNativeUpdater\\status.json", "planted"); });
  InstallUpdater(u"1.2.3");
  ASSERT_NE(SetAside(), u"");
  EXPECT_EQ(Machine().fileSystem.Find(SetAside() + u"\\status.json")->contents, "planted");
  EXPECT_NO_THROW(ValidateObjectAcl(UpdaterDataDirectory())) << "a protected directory of its own";
  EXPECT_TRUE(Machine().handles.open.empty());
}

TEST_F(UntrustedDirectoryTest, SetsAsideAJunctionWithoutFollowingIt) {
  CreateUserFolder(Elsewhere);
  Machine().fileSystem.AddJunction(UpdaterDataDirectory(), Elsewhere).security =
      Machine().fileSystem.Find(Elsewhere)->security;
  InstallUpdater(u"1.2.3");
  ASSERT_NE(SetAside(), u"");
  EXPECT_TRUE(Machine().fileSystem.Find(SetAside())->attributes & os::FileAttributeReparsePoint);
  EXPECT_NE(Machine().fileSystem.Find(Elsewhere), nullptr) << "the target stays where it was";
  EXPECT_NO_THROW(ValidateObjectAcl(UpdaterDataDirectory()));
}

TEST_F(UntrustedDirectoryTest, NamesTheSetAsideFromTheSystemsRandomSource) {
  CreateUserFolder(UpdaterDataDirectory());
  Machine().nextRandomByte = 0xF0;
  InstallUpdater(u"1.2.3");
  EXPECT_EQ(SetAside(), u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER.UNTRUSTED-F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF");
}

struct BlockedSetAside {
  const char* name;
  std::function<void()> arrange;
  const char* message;
};

class BlockedSetAsideTest : public UntrustedDirectoryTest, public testing::WithParamInterface<BlockedSetAside> {};

TEST_P(BlockedSetAsideTest, EndsTheInstallationWithItsMessage) {
  CreateUserFolder(UpdaterDataDirectory());
  GetParam().arrange();
  EXPECT_THAT([] { InstallUpdater(u"1.2.3"); }, FailsWith(GetParam().message));
  EXPECT_EQ(SetAside(), u"");
  EXPECT_EQ(Machine().services.Find(ServiceName), nullptr) << "nothing after it runs";
  EXPECT_TRUE(Machine().handles.open.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, BlockedSetAsideTest,
    testing::Values(
        // The user keeps it open without letting anyone delete or rename it.
        BlockedSetAside{
            "HeldOpenWithoutDeleteSharing",
            [] { Machine().fileSystem.HoldOpen(UpdaterDataDirectory(), os::GenericRead, os::FileShareRead); },
            "Cannot set aside untrusted updater directory (32)"},
        BlockedSetAside{"RandomSourceFails", [] { Machine().randomFailure = 0xC0000001; },
                        "Cannot set aside untrusted updater directory (3221225473)"}),
    [](const testing::TestParamInfo<BlockedSetAside>& info) { return info.param.name; });

TEST_F(UntrustedDirectoryTest, KeepsATrustedDirectory) {
  InstallUpdater(u"1.2.3");
  InstallUpdater(u"1.2.3");
  EXPECT_EQ(SetAside(), u"");
}

}  // namespace
}  // namespace ostrel
