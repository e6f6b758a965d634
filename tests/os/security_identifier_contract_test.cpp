#include "os/security_identifier.h"

#include <gtest/gtest.h>

namespace ostrel::os {
namespace {

Sid Converted(std::u16string_view text) {
  Sid sid;
  EXPECT_EQ(ConvertStringSidToSid(text, sid), std::nullopt) << "for the SID string";
  return sid;
}

TEST(SecurityIdentifierContractTest, CreatesTheWellKnownSidsInTheirBinaryForm) {
  Sid localSystem;
  ASSERT_EQ(CreateWellKnownSid(WellKnownSidType::WinLocalSystemSid, localSystem), std::nullopt);
  EXPECT_EQ(localSystem.bytes, (std::vector<std::uint8_t>{1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0}));
  Sid administrators;
  ASSERT_EQ(CreateWellKnownSid(WellKnownSidType::WinBuiltinAdministratorsSid, administrators), std::nullopt);
  EXPECT_EQ(administrators.bytes, (std::vector<std::uint8_t>{1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0}));
}

TEST(SecurityIdentifierContractTest, ConvertsSidStringsToTheSameSids) {
  Sid administrators;
  ASSERT_EQ(CreateWellKnownSid(WellKnownSidType::WinBuiltinAdministratorsSid, administrators), std::nullopt);
  EXPECT_TRUE(EqualSid(Converted(u"S-1-5-32-544"), administrators));
  EXPECT_FALSE(EqualSid(Converted(u"S-1-5-32-545"), administrators));

  Sid trustedInstaller = Converted(u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464");
  EXPECT_EQ(trustedInstaller.bytes.size(), 8u + 6 * 4);
  EXPECT_EQ(trustedInstaller.bytes[1], 6);
}

TEST(SecurityIdentifierContractTest, RecognisesOnlyTheExactWellKnownSid) {
  EXPECT_TRUE(IsWellKnownSid(Converted(u"S-1-5-18"), WellKnownSidType::WinLocalSystemSid));
  EXPECT_FALSE(IsWellKnownSid(Converted(u"S-1-5-18"), WellKnownSidType::WinBuiltinAdministratorsSid));
  EXPECT_FALSE(IsWellKnownSid(Converted(u"S-1-5-19"), WellKnownSidType::WinLocalSystemSid));
  EXPECT_TRUE(IsWellKnownSid(Converted(u"S-1-5-32-544"), WellKnownSidType::WinBuiltinAdministratorsSid));
  EXPECT_FALSE(IsWellKnownSid(Converted(u"S-1-5-21-1004336348-1177238915-682003330-500"),
                              WellKnownSidType::WinBuiltinAdministratorsSid));
}

TEST(SecurityIdentifierContractTest, RefusesTextThatIsNotASid) {
  for (std::u16string_view text : {u"S-1", u"X-1-5-18", u"S-1-5-x"}) {
    Sid sid;
    EXPECT_EQ(ConvertStringSidToSid(text, sid), ErrorInvalidSid) << std::string(text.begin(), text.end());
  }
}

}  // namespace
}  // namespace ostrel::os
