// Security of the fake machine's objects: owners and DACLs as Windows keeps
// them, what a new object inherits from its parent, and the access check a
// token meets when it opens an object.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "fake_os/fake_identity.h"
#include "os/access_rights.h"
#include "os/security_descriptor.h"

namespace ostrel::fake {

struct FakeAce {
  std::uint8_t type = os::AccessAllowedAceType;
  std::uint8_t flags = 0;
  std::uint32_t mask = 0;
  os::Sid sid;
};

// What a directory's entries grant to create and remove the objects in it.
inline constexpr std::uint32_t DirectoryAddFile = os::FileWriteData;
inline constexpr std::uint32_t DirectoryAddSubdirectory = os::FileAppendData;

FakeAce Allowed(std::u16string_view sid, std::uint32_t mask, std::uint8_t flags = 0);
FakeAce Denied(std::u16string_view sid, std::uint32_t mask, std::uint8_t flags = 0);

// An object's owner and DACL, as GetNamedSecurityInfoW reports them.
struct FakeSecurity {
  std::optional<os::Sid> owner;
  // Empty for a null DACL, which grants everyone everything.
  std::optional<std::vector<FakeAce>> dacl;
  // The DACL does not inherit from the parent ("P" in SDDL).
  bool daclProtected = false;
};

// What a well-kept machine directory has: owned by Administrators, full
// control for LocalSystem and Administrators, read and execute for Users,
// each passed on to files and subdirectories.
FakeSecurity TrustedSecurity();

// The security Windows gives an object created without a descriptor: the
// creator's default owner, and the entries of the parent's DACL marked for
// objects of this kind, made effective (INHERITED_ACE set, INHERIT_ONLY and
// the propagation flags cleared on a file, CREATOR OWNER replaced by the
// owner, generic rights mapped). A parent that passes nothing on leaves the
// token's default DACL: full control for the owner and LocalSystem.
FakeSecurity InheritedSecurity(const FakeSecurity& parent, bool container, const FakeIdentity& creator);

// The entries a new container appends after the explicit DACL of its
// descriptor, unless that DACL is protected.
std::vector<FakeAce> InheritedAces(const FakeSecurity& parent, bool container, const os::Sid& owner);

// The file object's generic mapping: GENERIC_READ, _WRITE, _EXECUTE and _ALL
// replaced by the specific rights they stand for.
std::uint32_t MapGenericFileRights(std::uint32_t mask);

// Whether the token is granted every right it asks for: the entries that
// apply to the object (not inherit-only) are walked in order for the user
// and the enabled groups, a denial of any right still wanted refuses, and
// the owner is always granted READ_CONTROL and WRITE_DAC. A null DACL grants
// everything; an empty one grants only what the owner always has.
// Generic rights are mapped with the object's own mapping, the file's unless
// another is given.
bool AccessGranted(const FakeSecurity& security, const FakeIdentity& token, std::uint32_t desiredAccess,
                   std::uint32_t (*mapGenericRights)(std::uint32_t) = MapGenericFileRights);

}  // namespace ostrel::fake
