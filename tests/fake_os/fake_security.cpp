#include "fake_os/fake_security.h"

#include <algorithm>

#include "os/access_rights.h"

namespace ostrel::fake {
namespace {

constexpr std::uint32_t FileGenericRead = 0x120089;
constexpr std::uint32_t FileGenericWrite = 0x120116;
constexpr std::uint32_t FileGenericExecute = 0x1200A0;
constexpr std::uint8_t NoPropagateInheritAce = 0x4;
constexpr std::uint8_t InheritanceFlags =
    os::ObjectInheritAce | os::ContainerInheritAce | NoPropagateInheritAce | os::InheritOnlyAce;

bool Names(const os::Sid& sid, const FakeIdentity& token) {
  if (os::EqualSid(sid, token.processUser)) return true;
  return std::ranges::any_of(token.enabledGroups, [&](const os::Sid& group) { return os::EqualSid(sid, group); });
}

// The entry as it takes effect on the new object.
FakeAce Effective(const FakeAce& ace, const os::Sid& owner) {
  bool creatorOwner = os::EqualSid(ace.sid, SidFromString(CreatorOwnerSid));
  return FakeAce{ace.type, os::InheritedAce, MapGenericFileRights(ace.mask), creatorOwner ? owner : ace.sid};
}

}  // namespace

FakeAce Allowed(std::u16string_view sid, std::uint32_t mask, std::uint8_t flags) {
  return FakeAce{os::AccessAllowedAceType, flags, mask, SidFromString(sid)};
}

FakeAce Denied(std::u16string_view sid, std::uint32_t mask, std::uint8_t flags) {
  return FakeAce{os::AccessDeniedAceType, flags, mask, SidFromString(sid)};
}

FakeSecurity TrustedSecurity() {
  constexpr std::uint8_t inherited = os::InheritedAce | os::ObjectInheritAce | os::ContainerInheritAce;
  return FakeSecurity{SidFromString(AdministratorsSid),
                      std::vector<FakeAce>{Allowed(LocalSystemSid, os::FileAllAccess, inherited),
                                           Allowed(AdministratorsSid, os::FileAllAccess, inherited),
                                           Allowed(UsersSid, 0x1200A9, inherited)}};
}

std::vector<FakeAce> InheritedAces(const FakeSecurity& parent, bool container, const os::Sid& owner) {
  std::vector<FakeAce> inherited;
  if (!parent.dacl) return inherited;
  for (const FakeAce& ace : *parent.dacl) {
    bool toObjects = (ace.flags & os::ObjectInheritAce) != 0;
    bool toContainers = (ace.flags & os::ContainerInheritAce) != 0;
    bool propagates = (ace.flags & NoPropagateInheritAce) == 0;
    if (!container) {
      if (toObjects) inherited.push_back(Effective(ace, owner));
      continue;
    }
    if (toContainers) inherited.push_back(Effective(ace, owner));
    // What the container passes on again, to its own files and subdirectories.
    if ((toContainers || toObjects) && propagates) {
      FakeAce passedOn = ace;
      passedOn.flags = static_cast<std::uint8_t>((ace.flags & (os::ObjectInheritAce | os::ContainerInheritAce)) |
                                                 os::InheritedAce | os::InheritOnlyAce);
      inherited.push_back(passedOn);
    }
  }
  return inherited;
}

FakeSecurity InheritedSecurity(const FakeSecurity& parent, bool container, const FakeIdentity& creator) {
  FakeSecurity security{creator.defaultOwner, InheritedAces(parent, container, creator.defaultOwner)};
  if (security.dacl->empty()) {
    security.dacl = std::vector<FakeAce>{FakeAce{os::AccessAllowedAceType, 0, os::FileAllAccess, creator.defaultOwner},
                                         Allowed(LocalSystemSid, os::FileAllAccess)};
  }
  return security;
}

std::uint32_t MapGenericFileRights(std::uint32_t mask) {
  std::uint32_t mapped = mask & ~(os::GenericRead | os::GenericWrite | os::GenericExecute | os::GenericAll);
  if (mask & os::GenericRead) mapped |= FileGenericRead;
  if (mask & os::GenericWrite) mapped |= FileGenericWrite;
  if (mask & os::GenericExecute) mapped |= FileGenericExecute;
  if (mask & os::GenericAll) mapped |= os::FileAllAccess;
  return mapped;
}

bool AccessGranted(const FakeSecurity& security, const FakeIdentity& token, std::uint32_t desiredAccess,
                   std::uint32_t (*mapGenericRights)(std::uint32_t)) {
  std::uint32_t wanted = mapGenericRights(desiredAccess) & ~os::Synchronize;
  if (!security.dacl) return true;
  if (security.owner && Names(*security.owner, token)) wanted &= ~(os::ReadControl | os::WriteDac);
  for (const FakeAce& ace : *security.dacl) {
    if (wanted == 0) break;
    if ((ace.flags & os::InheritOnlyAce) != 0 || !Names(ace.sid, token)) continue;
    std::uint32_t rights = mapGenericRights(ace.mask);
    if (ace.type == os::AccessDeniedAceType && (rights & wanted) != 0) return false;
    if (ace.type == os::AccessAllowedAceType) wanted &= ~rights;
  }
  return wanted == 0;
}

}  // namespace ostrel::fake
