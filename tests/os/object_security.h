// The owner and DACL of a file-system object, read for a test.
#pragma once

#include <optional>
#include <string_view>

#include "os/security_descriptor.h"

namespace ostrel::os {

struct ObjectSecurity {
  Failure result;
  std::optional<Sid> owner;
  std::optional<Acl> dacl;
  SecurityDescriptor descriptor;
};

inline ObjectSecurity ReadObjectSecurity(std::u16string_view path, std::uint32_t securityInformation =
                                                                       OwnerSecurityInformation |
                                                                       DaclSecurityInformation) {
  ObjectSecurity security;
  security.result =
      GetNamedSecurityInfo(path, SeFileObject, securityInformation, security.owner, security.dacl, security.descriptor);
  return security;
}

}  // namespace ostrel::os
