// Security descriptors of files and directories: who owns an object and
// which access its DACL grants or denies to whom.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "os/access_rights.h"
#include "os/error_code.h"
#include "os/owned_value.h"
#include "os/security_identifier.h"

namespace ostrel::os {

// LocalFree of memory the system allocated for the caller.
void LocalFree(std::uintptr_t memory) noexcept;

// The owner of a security descriptor the system allocated.
using SecurityDescriptor = OwnedValue<LocalFree>;

// SE_OBJECT_TYPE and SECURITY_INFORMATION.
inline constexpr std::uint32_t SeFileObject = 1;
// A registry key named "MACHINE\<subkey>", in the view native to the
// process: the 64-bit one for the updater.
inline constexpr std::uint32_t SeRegistryKey = 4;
inline constexpr std::uint32_t OwnerSecurityInformation = 0x1;
inline constexpr std::uint32_t DaclSecurityInformation = 0x4;

inline constexpr std::uint32_t SddlRevision1 = 1;

// ACE types and flags.
inline constexpr std::uint8_t AccessAllowedAceType = 0;
inline constexpr std::uint8_t AccessDeniedAceType = 1;
inline constexpr std::uint8_t AccessAllowedObjectAceType = 5;
inline constexpr std::uint8_t AccessAllowedCallbackAceType = 9;
inline constexpr std::uint8_t ObjectInheritAce = 0x1;
inline constexpr std::uint8_t ContainerInheritAce = 0x2;
inline constexpr std::uint8_t InheritOnlyAce = 0x8;
inline constexpr std::uint8_t InheritedAce = 0x10;

// A DACL inside a security descriptor, valid while the descriptor is owned.
struct Acl {
  std::uintptr_t address = 0;
  std::uint32_t aceCount = 0;
};

// An access control entry. The SID is copied for the allowed and denied
// types, whose mask is followed by the SID; other types lay out their body
// differently and leave it empty.
struct Ace {
  std::uint8_t type = 0;
  std::uint8_t flags = 0;
  std::uint32_t mask = 0;
  Sid sid;
};

// GetNamedSecurityInfoW for the owner and the DACL the security information
// asks for. The call returns its status rather than setting the last error: a
// status other than ERROR_SUCCESS is the failure's code. The
// owner is empty when the object has none; the DACL is empty when the object
// has no DACL at all (a null DACL, which grants everything).
[[nodiscard]] Failure GetNamedSecurityInfo(std::u16string_view path, std::uint32_t objectType,
                                           std::uint32_t securityInformation, std::optional<Sid>& owner,
                                           std::optional<Acl>& dacl, SecurityDescriptor& descriptor);

// GetAce: the entry at the index of the DACL.
[[nodiscard]] Failure GetAce(const Acl& acl, std::uint32_t index, Ace& ace);

// ConvertStringSecurityDescriptorToSecurityDescriptorW, without the size.
[[nodiscard]] Failure ConvertStringSecurityDescriptorToSecurityDescriptor(std::u16string_view sddl,
                                                                          std::uint32_t revision,
                                                                          SecurityDescriptor& descriptor);

}  // namespace ostrel::os
