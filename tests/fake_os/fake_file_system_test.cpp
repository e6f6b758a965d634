// The fake machine's own rules where Wine cannot show Windows' behaviour:
// hard links, and access checks against the caller's token.
#include <gtest/gtest.h>

#include <string>

#include "fake_os/fake_machine.h"
#include "os/file.h"
#include "os/file_system.h"

namespace ostrel::fake {
namespace {

constexpr std::u16string_view Staged = u"C:\\ProgramData\\Ostrel-Setup.exe";
constexpr std::u16string_view Linked = u"C:\\ProgramData\\planted-link.exe";

os::FileInformation InformationOf(std::u16string_view path) {
  os::Handle file;
  EXPECT_EQ(os::CreateFile(path, os::GenericRead, os::FileShareRead, os::OpenExisting, 0, file), std::nullopt);
  os::FileInformation information;
  EXPECT_EQ(os::GetFileInformationByHandle(file, information), std::nullopt);
  return information;
}

TEST(FakeFileSystemTest, AHardLinkIsOneFileUnderTwoNames) {
  Machine().fileSystem.AddFile(Staged, "installer");
  Machine().fileSystem.AddHardLink(Linked, Staged);
  EXPECT_EQ(InformationOf(Staged).numberOfLinks, 2u);
  {
    os::Handle file;
    ASSERT_EQ(os::CreateFile(Linked, os::GenericWrite, 0, os::CreateAlways, 0, file), std::nullopt);
    std::uint32_t written = 0;
    ASSERT_EQ(os::WriteFile(file, std::string_view("replaced"), written), std::nullopt);
  }
  EXPECT_EQ(Machine().fileSystem.Find(Staged)->contents, "replaced");
  ASSERT_EQ(os::DeleteFile(Linked), std::nullopt);
  EXPECT_EQ(InformationOf(Staged).numberOfLinks, 1u);
}

TEST(FakeFileSystemTest, GrantsWhatTheDaclGrantsToTheCallersToken) {
  const FakeIdentity user = FakeIdentity::StandardUser();
  const os::Sid owner = SidFromString(AdministratorsSid);
  const struct {
    const char* name;
    std::optional<std::vector<FakeAce>> dacl;
    std::uint32_t access;
    bool granted;
  } cases[] = {
      {"NullDaclGrantsAll", std::nullopt, os::GenericAll, true},
      {"EmptyDaclGrantsNothing", std::vector<FakeAce>{}, os::FileReadData, false},
      {"GroupEntryGrants", std::vector<FakeAce>{Allowed(UsersSid, 0x1200A9)}, os::GenericRead, true},
      {"ReadIsNotWrite", std::vector<FakeAce>{Allowed(UsersSid, 0x1200A9)}, os::GenericWrite, false},
      {"RightsAddUpOverEntries",
       std::vector<FakeAce>{Allowed(UsersSid, os::FileReadData), Allowed(EveryoneSid, os::FileWriteData)},
       os::FileReadData | os::FileWriteData, true},
      {"ADenialFirstRefuses",
       std::vector<FakeAce>{Denied(EveryoneSid, os::FileWriteData), Allowed(UsersSid, os::FileAllAccess)},
       os::GenericWrite, false},
      {"ADenialAfterTheGrantComesTooLate",
       std::vector<FakeAce>{Allowed(UsersSid, os::FileAllAccess), Denied(EveryoneSid, os::FileWriteData)},
       os::GenericWrite, true},
      {"InheritOnlyEntriesDoNotApply",
       std::vector<FakeAce>{Allowed(UsersSid, os::FileAllAccess, os::ObjectInheritAce | os::InheritOnlyAce)},
       os::FileReadData, false},
      {"OtherPrincipalsDoNotCount", std::vector<FakeAce>{Allowed(AdministratorsSid, os::FileAllAccess)},
       os::FileReadData, false},
  };
  for (const auto& check : cases) {
    EXPECT_EQ(AccessGranted(FakeSecurity{owner, check.dacl}, user, check.access), check.granted) << check.name;
  }
  FakeSecurity owned{user.processUser, std::vector<FakeAce>{}};
  EXPECT_TRUE(AccessGranted(owned, user, os::ReadControl | os::WriteDac)) << "an owner may always fix the DACL";
  EXPECT_FALSE(AccessGranted(owned, user, os::FileReadData));
}

}  // namespace
}  // namespace ostrel::fake
