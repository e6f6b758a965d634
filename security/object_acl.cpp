#include "security/object_acl.h"

#include <optional>
#include <stdexcept>
#include <string>

#include "foundation/failure.h"
#include "security/path_validation.h"
#include "security/trusted_principal.h"

namespace ostrel {
namespace {

void ValidateAce(const os::Acl& dacl, std::uint32_t index, std::uint32_t writeMask) {
  os::Ace ace;
  if (const os::Failure failure = os::GetAce(dacl, index, ace)) RaiseLastError("Read updater ACL", *failure);
  // An inherit-only entry applies to children, not to this object, and a
  // denial never grants.
  if ((ace.flags & os::InheritOnlyAce) != 0 || ace.type == os::AccessDeniedAceType) return;
  // Object, callback and compound entries grant under conditions this rule
  // cannot judge, so they are refused whoever they name.
  Require(ace.type == os::AccessAllowedAceType, "Unsupported updater ACL");
  Require((ace.mask & writeMask) == 0 || IsTrustedPrincipal(ace.sid),
          "Updater object is writable by an untrusted principal");
}

// The owner and the DACL of the named object of the type, judged with the
// mask of the rights that count as writing it.
void ValidateSecurity(std::u16string_view name, std::uint32_t objectType, std::uint32_t writeMask) {
  std::optional<os::Sid> owner;
  std::optional<os::Acl> dacl;
  os::SecurityDescriptor descriptor;
  if (os::GetNamedSecurityInfo(name, objectType, os::OwnerSecurityInformation | os::DaclSecurityInformation, owner,
                               dacl, descriptor)) {
    throw std::runtime_error("Cannot inspect protected updater ACL");
  }
  // A null DACL grants everyone every right.
  Require(owner && IsTrustedPrincipal(*owner) && dacl, "Updater object has an untrusted owner or ACL");
  for (std::uint32_t index = 0; index < dacl->aceCount; ++index) ValidateAce(*dacl, index, writeMask);
}

}  // namespace

void ValidateObjectAcl(std::u16string_view path) {
  ValidateUpdaterPath(path);
  ValidateSecurity(path, os::SeFileObject, UntrustedWriteMask);
}

void ValidateRegistryKeyAcl(std::u16string_view machineSubKey) {
  std::u16string name = u"MACHINE\\";
  name += machineSubKey;
  ValidateSecurity(name, os::SeRegistryKey, UntrustedKeyWriteMask);
}

}  // namespace ostrel
