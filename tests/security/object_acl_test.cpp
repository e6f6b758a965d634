#include "security/object_acl.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "fake_os/fake_machine.h"
#include "os/file_system.h"

namespace ostrel {
namespace {

using namespace fake;

constexpr std::u16string_view ObjectPath = u"C:\\ProgramData\\OstrelNativeUpdater";
constexpr std::uint32_t ReadAndExecute = 0x1200A9;
constexpr std::uint32_t Modify = 0x1301BF;

class ObjectAclTest : public testing::Test {
 protected:
  FakeFile& object = Machine().fileSystem.AddDirectory(ObjectPath);

  // The failure's message, or "" when the object passes. Whatever happens,
  // the descriptor the system allocated has been released.
  std::string Validate() {
    std::string message;
    try {
      ValidateObjectAcl(ObjectPath);
    } catch (const std::runtime_error& failure) {
      message = failure.what();
    }
    EXPECT_TRUE(Machine().fileSystem.descriptors.empty()) << "security descriptor not released";
    return message;
  }

  std::string ValidateWith(std::u16string_view owner, std::vector<FakeAce> dacl) {
    object.security = FakeSecurity{SidFromString(owner), std::move(dacl)};
    return Validate();
  }
};

constexpr const char* UntrustedOwner = "Updater object has an untrusted owner or ACL";
constexpr const char* Writable = "Updater object is writable by an untrusted principal";
constexpr const char* Unsupported = "Unsupported updater ACL";

TEST_F(ObjectAclTest, TrustsOnlyLocalSystemAdministratorsAndTrustedInstallerAsOwner) {
  for (std::u16string_view owner : {LocalSystemSid, AdministratorsSid, TrustedInstallerSid}) {
    EXPECT_EQ(ValidateWith(owner, {Allowed(owner, os::FileAllAccess)}), "");
  }
  for (std::u16string_view owner : {AdministratorAccountSid, InteractiveUserSid, UsersSid, OtherServiceSid}) {
    EXPECT_EQ(ValidateWith(owner, {}), UntrustedOwner);
  }
  object.security.owner.reset();
  EXPECT_EQ(Validate(), UntrustedOwner);
}

TEST_F(ObjectAclTest, RefusesANullDaclButPassesAnEmptyOne) {
  object.security.dacl.reset();
  EXPECT_EQ(Validate(), UntrustedOwner);
  object.security.dacl.emplace();
  EXPECT_EQ(Validate(), "");
}

TEST_F(ObjectAclTest, RefusesEveryWriteRightAloneForAnUntrustedSid) {
  for (int bit = 0; bit < 32; ++bit) {
    std::uint32_t right = 1u << bit;
    SCOPED_TRACE(testing::Message() << "right 0x" << std::hex << right);
    bool isWrite = (UntrustedWriteMask & right) != 0;
    EXPECT_EQ(ValidateWith(AdministratorsSid, {Allowed(UsersSid, right)}), isWrite ? Writable : "");
    EXPECT_EQ(ValidateWith(AdministratorsSid, {Allowed(LocalSystemSid, right)}), "");
  }
}

TEST_F(ObjectAclTest, JudgesEachAllowedEntryByItsSid) {
  for (std::u16string_view trusted : {LocalSystemSid, AdministratorsSid, TrustedInstallerSid}) {
    EXPECT_EQ(ValidateWith(AdministratorsSid, {Allowed(trusted, os::GenericAll | os::FileAllAccess)}), "");
  }
  for (std::u16string_view untrusted :
       {UsersSid, AuthenticatedUsersSid, EveryoneSid, AdministratorAccountSid, InteractiveUserSid, OtherServiceSid,
        LocalServiceSid, NetworkServiceSid}) {
    EXPECT_EQ(ValidateWith(AdministratorsSid, {Allowed(LocalSystemSid, os::FileAllAccess), Allowed(untrusted, Modify)}),
              Writable);
    EXPECT_EQ(ValidateWith(AdministratorsSid, {Allowed(untrusted, ReadAndExecute)}), "");
  }
}

TEST_F(ObjectAclTest, CountsInheritedEntriesButSkipsInheritOnlyOnes) {
  EXPECT_EQ(ValidateWith(AdministratorsSid, {Allowed(UsersSid, Modify, os::InheritedAce)}), Writable);
  EXPECT_EQ(ValidateWith(AdministratorsSid, {Allowed(UsersSid, os::FileAllAccess,
                                                     os::InheritOnlyAce | os::ObjectInheritAce | os::ContainerInheritAce)}),
            "");
}

TEST_F(ObjectAclTest, IgnoresDenialsWhereverTheyStand) {
  EXPECT_EQ(ValidateWith(AdministratorsSid, {Denied(EveryoneSid, os::GenericAll), Denied(LocalSystemSid, 0xFFFFFFFF)}),
            "");
  // A denial placed before a grant does not excuse the grant.
  EXPECT_EQ(ValidateWith(AdministratorsSid, {Denied(UsersSid, os::FileAllAccess), Allowed(UsersSid, os::FileWriteData)}),
            Writable);
}

TEST_F(ObjectAclTest, RefusesEntriesOfAnyOtherTypeWhoeverTheyName) {
  for (std::uint8_t type : {os::AccessAllowedObjectAceType, os::AccessAllowedCallbackAceType, std::uint8_t{2},
                            std::uint8_t{4}, std::uint8_t{11}, std::uint8_t{0x11}}) {
    SCOPED_TRACE(testing::Message() << "type " << int{type});
    EXPECT_EQ(ValidateWith(AdministratorsSid, {FakeAce{type, 0, os::FileReadData, SidFromString(LocalSystemSid)}}),
              Unsupported);
    // Unless it applies only to children.
    EXPECT_EQ(ValidateWith(AdministratorsSid,
                           {FakeAce{type, os::InheritOnlyAce, os::FileAllAccess, SidFromString(UsersSid)}}),
              "");
  }
}

TEST_F(ObjectAclTest, StopsAtTheFirstOffendingEntry) {
  EXPECT_EQ(ValidateWith(AdministratorsSid,
                         {Allowed(UsersSid, os::Delete), FakeAce{os::AccessAllowedCallbackAceType, 0, 0, {}}}),
            Writable);
  EXPECT_EQ(ValidateWith(AdministratorsSid,
                         {FakeAce{os::AccessAllowedCallbackAceType, 0, 0, {}}, Allowed(UsersSid, os::Delete)}),
            Unsupported);
}

TEST_F(ObjectAclTest, ReportsWhatCannotBeRead) {
  Machine().fileSystem.getAceResult = 1344;
  EXPECT_EQ(Validate(), "Read updater ACL (1344)");
  Machine().fileSystem.getAceResult = std::nullopt;
  object.security.dacl.emplace();
  EXPECT_EQ(Validate(), "") << "an empty DACL has no entry to read";

  object.securityError = os::ErrorAccessDenied;
  EXPECT_EQ(Validate(), "Cannot inspect protected updater ACL");
}

TEST_F(ObjectAclTest, ValidatesThePathFirst) {
  object.attributes |= os::FileAttributeReparsePoint;
  object.security.dacl.reset();
  EXPECT_EQ(Validate(), "Updater reparse point rejected");
  EXPECT_EQ(ValidateWith(AdministratorsSid, {}), "Updater reparse point rejected");
}

}  // namespace
}  // namespace ostrel
