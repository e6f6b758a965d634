#include "os/security_descriptor.h"

#include <algorithm>
#include <map>
#include <string>

#include "fake_os/fake_machine.h"

namespace ostrel::os {
namespace {

using fake::FakeAce;
using fake::FakeSecurity;
using fake::Machine;


std::optional<Sid> SidOfAlias(std::u16string_view alias) {
  static const std::map<std::u16string_view, std::u16string_view> aliases = {
      {u"SY", fake::LocalSystemSid}, {u"BA", fake::AdministratorsSid}, {u"BU", fake::UsersSid},
      {u"AU", fake::AuthenticatedUsersSid}, {u"WD", fake::EveryoneSid}};
  auto known = aliases.find(alias);
  if (known != aliases.end()) return fake::SidFromString(known->second);
  return fake::ParseSid(alias);
}

std::optional<std::uint8_t> AceFlagsOf(std::u16string_view text) {
  static const std::map<std::u16string_view, std::uint8_t> flags = {
      {u"OI", ObjectInheritAce}, {u"CI", ContainerInheritAce}, {u"IO", InheritOnlyAce}, {u"ID", InheritedAce}};
  std::uint8_t result = 0;
  for (; text.size() >= 2; text.remove_prefix(2)) {
    auto flag = flags.find(text.substr(0, 2));
    if (flag == flags.end()) return std::nullopt;
    result |= flag->second;
  }
  if (!text.empty()) return std::nullopt;
  return result;
}

std::optional<std::uint32_t> RightsOf(std::u16string_view text) {
  if (text == u"FA") return FileAllAccess;
  if (text == u"GA") return GenericAll;
  if (!text.starts_with(u"0x") || text.size() == 2) return std::nullopt;
  std::uint32_t rights = 0;
  for (char16_t unit : text.substr(2)) {
    int digit = unit >= u'0' && unit <= u'9' ? unit - u'0' : unit >= u'a' && unit <= u'f' ? unit - u'a' + 10 : -1;
    if (digit < 0) return std::nullopt;
    rights = rights * 16 + static_cast<std::uint32_t>(digit);
  }
  return rights;
}

// "(A;OICI;FA;;;SY)": allowed or denied entries with inheritance flags,
// file-all-access or hexadecimal rights, and an alias or string SID.
std::optional<FakeAce> AceOf(std::u16string_view text) {
  std::u16string_view fields[6];
  for (int i = 0; i < 5; ++i) {
    std::size_t end = text.find(u';');
    if (end == std::u16string_view::npos) return std::nullopt;
    fields[i] = text.substr(0, end);
    text.remove_prefix(end + 1);
  }
  fields[5] = text;
  std::optional<std::uint8_t> flags = AceFlagsOf(fields[1]);
  std::optional<std::uint32_t> rights = RightsOf(fields[2]);
  std::optional<Sid> sid = SidOfAlias(fields[5]);
  if ((fields[0] != u"A" && fields[0] != u"D") || !flags || !rights || !sid) return std::nullopt;
  return FakeAce{fields[0] == u"A" ? AccessAllowedAceType : AccessDeniedAceType, *flags, *rights, *sid};
}

// The alias or string SID of an "O:" or "G:" component, taken off the front
// of the text; none when the text does not start with the component.
std::optional<std::u16string_view> TakeComponent(std::u16string_view& text, std::u16string_view name) {
  if (!text.starts_with(name)) return std::nullopt;
  text.remove_prefix(name.size());
  std::size_t end = std::min(text.find(u"G:"), text.find(u"D:"));
  std::u16string_view value = text.substr(0, end);
  text.remove_prefix(value.size());
  return value;
}

// The SDDL the updater and the tests write: "[O:<owner>][G:<group>]D:[P]
// (ace)(ace)...". Without an owner, the creator's default owner applies.
std::optional<FakeSecurity> SecurityOf(std::u16string_view sddl) {
  FakeSecurity security{std::nullopt, std::vector<FakeAce>{}};
  if (std::optional<std::u16string_view> owner = TakeComponent(sddl, u"O:")) {
    security.owner = SidOfAlias(*owner);
    if (!security.owner) return std::nullopt;
  }
  if (std::optional<std::u16string_view> group = TakeComponent(sddl, u"G:"); group && !SidOfAlias(*group)) {
    return std::nullopt;
  }
  if (!sddl.starts_with(u"D:")) return std::nullopt;
  std::u16string_view rest = sddl.substr(2);
  if (rest.starts_with(u"P")) {
    security.daclProtected = true;
    rest.remove_prefix(1);
  }
  while (!rest.empty()) {
    std::size_t end = rest.find(u')');
    if (!rest.starts_with(u"(") || end == std::u16string_view::npos) return std::nullopt;
    std::optional<FakeAce> ace = AceOf(rest.substr(1, end - 1));
    if (!ace) return std::nullopt;
    security.dacl->push_back(*std::move(ace));
    rest.remove_prefix(end + 1);
  }
  return security;
}

SecurityDescriptor HandOut(FakeSecurity security) {
  fake::FakeFileSystem& fileSystem = Machine().fileSystem;
  std::uintptr_t value = fileSystem.nextDescriptor;
  fileSystem.nextDescriptor += 0x10;
  fileSystem.descriptors.emplace(value, std::move(security));
  return SecurityDescriptor(value);
}

// The security of the named object: a file's, or a key's of the 64-bit view
// named "MACHINE\<subkey>".
Failure FindSecurity(std::u16string_view name, std::uint32_t objectType, FakeSecurity& security) {
  if (objectType == SeRegistryKey) {
    constexpr std::u16string_view machine = u"MACHINE\\";
    if (fake::FoldRegistryName(name.substr(0, machine.size())) != fake::FoldRegistryName(machine)) {
      return ErrorInvalidParameter;
    }
    const fake::FakeRegistry& registry = Machine().registry;
    const auto key = fake::FakeRegistry::Path(fake::RegistryView::Bit64, name.substr(machine.size()));
    if (!registry.keys.contains(key)) return ErrorFileNotFound;
    const auto set = registry.security.find(key);
    security = set != registry.security.end() ? set->second : fake::TrustedKeySecurity();
    return std::nullopt;
  }
  if (objectType != SeFileObject) return ErrorInvalidParameter;
  fake::FakeFileSystem::Lookup lookup = Machine().fileSystem.Look(name);
  if (lookup.file == nullptr) return lookup.missing;
  if (lookup.file->securityError) return lookup.file->securityError;
  security = lookup.file->security;
  return std::nullopt;
}

}  // namespace

void LocalFree(std::uintptr_t memory) noexcept { Machine().fileSystem.descriptors.erase(memory); }

Failure GetNamedSecurityInfo(std::u16string_view path, std::uint32_t objectType, std::uint32_t securityInformation,
                             std::optional<Sid>& owner, std::optional<Acl>& dacl, SecurityDescriptor& descriptor) {
  FakeSecurity security;
  if (const Failure failure = FindSecurity(path, objectType, security)) return failure;
  owner = (securityInformation & OwnerSecurityInformation) ? security.owner : std::nullopt;
  bool daclAsked = (securityInformation & DaclSecurityInformation) != 0;
  descriptor = HandOut(security);
  dacl = daclAsked && security.dacl
             ? std::optional<Acl>(Acl{descriptor.value(), static_cast<std::uint32_t>(security.dacl->size())})
             : std::nullopt;
  return std::nullopt;
}

Failure GetAce(const Acl& acl, std::uint32_t index, Ace& ace) {
  fake::FakeFileSystem& fileSystem = Machine().fileSystem;
  if (fileSystem.getAceResult) return fileSystem.getAceResult;
  auto descriptor = fileSystem.descriptors.find(acl.address);
  if (descriptor == fileSystem.descriptors.end() || !descriptor->second.dacl ||
      index >= descriptor->second.dacl->size()) {
    return ErrorInvalidParameter;
  }
  const FakeAce& entry = (*descriptor->second.dacl)[index];
  bool sidFollowsMask = entry.type == AccessAllowedAceType || entry.type == AccessDeniedAceType;
  ace = Ace{entry.type, entry.flags, entry.mask, sidFollowsMask ? entry.sid : Sid{}};
  return std::nullopt;
}

Failure ConvertStringSecurityDescriptorToSecurityDescriptor(std::u16string_view sddl, std::uint32_t revision,
                                                            SecurityDescriptor& descriptor) {
  if (const Failure result = Machine().fileSystem.convertSecurityDescriptorResult) return result;
  std::optional<FakeSecurity> security = SecurityOf(sddl);
  if (revision != SddlRevision1 || !security) return ErrorInvalidParameter;
  descriptor = HandOut(*std::move(security));
  return std::nullopt;
}

}  // namespace ostrel::os
