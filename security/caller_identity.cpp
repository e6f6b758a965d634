#include "security/caller_identity.h"

#include <stdexcept>

#include "foundation/failure.h"
#include "os/access_token.h"
#include "os/handle.h"
#include "os/security_identifier.h"

namespace ostrel {

bool IsLocalSystem() {
  os::Handle token;
  if (os::ErrorCode error = os::OpenProcessToken(os::TokenQuery, token)) RaiseLastError("Open token", error);
  os::Sid user;
  if (os::ErrorCode error = os::GetTokenUser(token, user)) RaiseLastError("Read token", error);
  return os::IsWellKnownSid(user, os::WellKnownSidType::WinLocalSystemSid);
}

void RequireAdministrator(const char* denialMessage) {
  os::Sid administrators;
  if (os::ErrorCode error = os::CreateWellKnownSid(os::WellKnownSidType::WinBuiltinAdministratorsSid, administrators)) {
    RaiseLastError("Admin SID", error);
  }
  bool isMember = false;
  if (os::ErrorCode error = os::CheckTokenMembership(administrators, isMember)) {
    RaiseLastError("Admin membership", error);
  }
  Require(isMember, denialMessage);
}

}  // namespace ostrel
