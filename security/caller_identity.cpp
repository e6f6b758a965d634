#include "security/caller_identity.h"

#include <stdexcept>

#include "foundation/failure.h"
#include "os/access_token.h"
#include "os/handle.h"
#include "os/security_identifier.h"

namespace ostrel {

bool IsLocalSystem() {
  os::Handle token;
  if (const os::Failure failure = os::OpenProcessToken(os::TokenQuery, token)) RaiseLastError("Open token", *failure);
  os::Sid user;
  if (const os::Failure failure = os::GetTokenUser(token, user)) RaiseLastError("Read token", *failure);
  return os::IsWellKnownSid(user, os::WellKnownSidType::WinLocalSystemSid);
}

void RequireAdministrator(const char* denialMessage) {
  os::Sid administrators;
  if (const os::Failure failure =
          os::CreateWellKnownSid(os::WellKnownSidType::WinBuiltinAdministratorsSid, administrators)) {
    RaiseLastError("Admin SID", *failure);
  }
  bool isMember = false;
  if (const os::Failure failure = os::CheckTokenMembership(administrators, isMember)) {
    RaiseLastError("Admin membership", *failure);
  }
  Require(isMember, denialMessage);
}

}  // namespace ostrel
