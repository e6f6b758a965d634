#include "os/registry.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "os/security_descriptor.h"

namespace ostrel::os {
namespace {

// Under Wine these tests write into the test prefix's registry; each test
// writes what it reads, so runs do not depend on one another.
constexpr std::u16string_view TestKey = u"SOFTWARE\\Ostrel\\ContractTest";
constexpr RootKey Machine = RootKey::HkeyLocalMachine;

void WriteValue(std::uint32_t view, std::optional<std::u16string_view> name, std::uint32_t type, const void* data,
                std::uint32_t size) {
  RegistryKey key;
  ASSERT_EQ(RegCreateKeyEx(Machine, TestKey, RegOptionNonVolatile, KeySetValue | view, key), std::nullopt);
  ASSERT_EQ(RegSetValueEx(key, name, type, data, size), std::nullopt);
}

void WriteString(std::uint32_t view, std::optional<std::u16string_view> name, std::u16string_view text) {
  std::u16string terminated(text);
  WriteValue(view, name, RegSz, terminated.c_str(), static_cast<std::uint32_t>((text.size() + 1) * 2));
}

void WriteDword(std::uint32_t view, std::u16string_view name, std::uint32_t number) {
  WriteValue(view, name, RegDword, &number, sizeof number);
}

struct StringRead {
  Failure result;
  std::uint32_t size;
  std::u16string text;
};

StringRead ReadString(std::uint32_t flags, std::optional<std::u16string_view> name, std::uint32_t bufferSize = 512) {
  std::array<char16_t, 256> buffer{};
  std::uint32_t size = bufferSize;
  Failure result = RegGetValue(Machine, TestKey, name, RrfRtRegSz | flags, buffer.data(), size);
  return {result, size, std::u16string(buffer.data())};
}

TEST(RegistryContractTest, KeepsTheTwoViewsApart) {
  WriteString(KeyWow6464Key, u"View", u"64-bit");
  WriteString(KeyWow6432Key, u"View", u"32-bit");
  StringRead native = ReadString(RrfSubkeyWow6464Key, u"View");
  EXPECT_EQ(native.result, std::nullopt);
  EXPECT_EQ(native.text, u"64-bit");
  EXPECT_EQ(native.size, 14u);
  StringRead redirected = ReadString(RrfSubkeyWow6432Key, u"View");
  EXPECT_EQ(redirected.result, std::nullopt);
  EXPECT_EQ(redirected.text, u"32-bit");
}

TEST(RegistryContractTest, AnAbsentValueNameIsTheDefaultValue) {
  WriteString(KeyWow6464Key, std::nullopt, u"C:\\manifest.json");
  EXPECT_EQ(ReadString(RrfSubkeyWow6464Key, std::nullopt).text, u"C:\\manifest.json");
  EXPECT_EQ(ReadString(RrfSubkeyWow6464Key, u"").text, u"C:\\manifest.json");
}

TEST(RegistryContractTest, ReadsOnlyTheTypesAskedFor) {
  WriteDword(KeyWow6464Key, u"Number", 0xFFFFFFFF);
  WriteString(KeyWow6464Key, u"Text", u"1");
  std::uint32_t number = 0;
  std::uint32_t size = sizeof number;
  EXPECT_EQ(RegGetValue(Machine, TestKey, u"Number", RrfRtRegDword | RrfSubkeyWow6464Key, &number, size), std::nullopt);
  EXPECT_EQ(number, 0xFFFFFFFFu);
  EXPECT_EQ(size, 4u);
  size = sizeof number;
  EXPECT_EQ(RegGetValue(Machine, TestKey, u"Text", RrfRtRegDword | RrfSubkeyWow6464Key, &number, size),
            ErrorUnsupportedType);
  EXPECT_EQ(ReadString(RrfSubkeyWow6464Key, u"Number").result, ErrorUnsupportedType);
}

TEST(RegistryContractTest, ReportsTheSizeNeededWhenTheBufferIsShort) {
  WriteString(KeyWow6464Key, u"Long", std::u16string(256, u'7'));
  StringRead tooLong = ReadString(RrfSubkeyWow6464Key, u"Long");
  EXPECT_EQ(tooLong.result, ErrorMoreData);
  EXPECT_EQ(tooLong.size, 514u);

  WriteString(KeyWow6464Key, u"Fits", std::u16string(255, u'7'));
  StringRead fits = ReadString(RrfSubkeyWow6464Key, u"Fits");
  EXPECT_EQ(fits.result, std::nullopt);
  EXPECT_EQ(fits.size, 512u);
  EXPECT_EQ(fits.text.size(), 255u);
}

TEST(RegistryContractTest, TerminatesAStringStoredWithoutItsZero) {
  std::u16string text = u"1.2.3";
  WriteValue(KeyWow6464Key, u"Unterminated", RegSz, text.data(), static_cast<std::uint32_t>(text.size() * 2));
  StringRead read = ReadString(RrfSubkeyWow6464Key, u"Unterminated");
  EXPECT_EQ(read.result, std::nullopt);
  EXPECT_EQ(read.text, u"1.2.3");
  EXPECT_EQ(read.size, 12u);
}

TEST(RegistryContractTest, AMissingKeyOrValueIsNotFound) {
  WriteString(KeyWow6464Key, u"Present", u"");
  EXPECT_EQ(ReadString(RrfSubkeyWow6464Key, u"Absent").result, ErrorFileNotFound);
  std::array<char16_t, 4> buffer{};
  std::uint32_t size = sizeof buffer;
  EXPECT_EQ(RegGetValue(Machine, u"SOFTWARE\\Ostrel\\NoSuchKey", u"Version", RrfRtRegSz | RrfSubkeyWow6464Key,
                        buffer.data(), size),
            ErrorFileNotFound);
}

// What the updater asks of machine policy's key before it reads a value.
TEST(RegistryContractTest, NamesAKeyOfThe64BitViewForItsSecurity) {
  WriteDword(KeyWow6464Key, u"Secured", 1);
  RegistryKey only32;
  ASSERT_EQ(RegCreateKeyEx(Machine, u"SOFTWARE\\Ostrel\\ContractTest32", RegOptionNonVolatile,
                           KeySetValue | KeyWow6432Key, only32),
            std::nullopt);
  constexpr std::uint32_t asked = OwnerSecurityInformation | DaclSecurityInformation;
  std::optional<Sid> owner;
  std::optional<Acl> dacl;
  SecurityDescriptor descriptor;
  EXPECT_EQ(GetNamedSecurityInfo(u"MACHINE\\SOFTWARE\\Ostrel\\ContractTest", SeRegistryKey, asked, owner, dacl,
                                 descriptor),
            std::nullopt);
  EXPECT_TRUE(owner);
  EXPECT_TRUE(dacl);
  EXPECT_EQ(GetNamedSecurityInfo(u"MACHINE\\SOFTWARE\\Ostrel\\ContractTest32", SeRegistryKey, asked, owner, dacl,
                                 descriptor),
            ErrorFileNotFound)
      << "a key of the 32-bit view only";
  EXPECT_EQ(GetNamedSecurityInfo(u"MACHINE\\SOFTWARE\\Ostrel\\ContractTest\\Missing", SeRegistryKey, asked,
                                 owner, dacl, descriptor),
            ErrorFileNotFound);
}

TEST(RegistryContractTest, AnEmptyStringIsItsTerminatingZero) {
  WriteString(KeyWow6464Key, u"Empty", u"");
  StringRead read = ReadString(RrfSubkeyWow6464Key, u"Empty");
  EXPECT_EQ(read.result, std::nullopt);
  EXPECT_EQ(read.size, 2u);
}

// As the removal of the registration deletes it: what is in the key through
// the key opened in the view, then the key itself in that view.
void DeleteKeyInView(const std::u16string& key, std::uint32_t view) {
  {
    RegistryKey opened;
    ASSERT_EQ(RegOpenKeyEx(Machine, key, Delete | KeyEnumerateSubKeys | KeyQueryValue | KeySetValue | view, opened),
              std::nullopt);
    ASSERT_EQ(RegDeleteTree(opened), std::nullopt);
  }
  EXPECT_EQ(RegDeleteKeyEx(Machine, key, view), std::nullopt);
}

TEST(RegistryContractTest, DeletesAKeyWithEverythingBelowItInOneViewOnly) {
  const std::u16string tree = std::u16string(TestKey) + u"\\Tree";
  for (std::uint32_t view : {KeyWow6464Key, KeyWow6432Key}) {
    for (const std::u16string& key : {tree, tree + u"\\Below"}) {
      RegistryKey created;
      ASSERT_EQ(RegCreateKeyEx(Machine, key, RegOptionNonVolatile, KeySetValue | view, created), std::nullopt);
      std::uint32_t number = 1;
      ASSERT_EQ(RegSetValueEx(created, u"Value", RegDword, &number, sizeof number), std::nullopt);
    }
  }
  EXPECT_EQ(RegDeleteKeyEx(Machine, tree, KeyWow6464Key), ErrorAccessDenied) << "it has a subkey";
  DeleteKeyInView(tree, KeyWow6464Key);

  std::uint32_t number = 0;
  std::uint32_t size = sizeof number;
  EXPECT_EQ(RegGetValue(Machine, tree, u"Value", RrfRtRegDword | RrfSubkeyWow6464Key, &number, size),
            ErrorFileNotFound);
  RegistryKey gone;
  EXPECT_EQ(RegOpenKeyEx(Machine, tree, KeyQueryValue | KeyWow6464Key, gone), ErrorFileNotFound);
  size = sizeof number;
  EXPECT_EQ(RegGetValue(Machine, tree + u"\\Below", u"Value", RrfRtRegDword | RrfSubkeyWow6432Key, &number, size),
            std::nullopt)
      << "the 32-bit view keeps its own";
  DeleteKeyInView(tree, KeyWow6432Key);
}

}  // namespace
}  // namespace ostrel::os
