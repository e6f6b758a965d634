#include "os/access_token.h"

#include <algorithm>

#include "fake_os/fake_machine.h"

namespace ostrel::os {

using fake::Machine;

Failure OpenProcessToken(std::uint32_t, Handle& token) {
  if (const Failure result = Machine().identity.openProcessTokenResult) return result;
  token = Handle(Machine().handles.Open());
  return std::nullopt;
}

Failure GetTokenUser(const Handle& token, Sid& user) {
  if (!Machine().handles.open.contains(token.value())) return ErrorInvalidHandle;
  if (const Failure result = Machine().identity.getTokenUserResult) return result;
  user = Machine().identity.processUser;
  return std::nullopt;
}

Failure CheckTokenMembership(const Sid& group, bool& isMember) {
  if (const Failure result = Machine().identity.checkTokenMembershipResult) return result;
  const std::vector<Sid>& groups = Machine().identity.enabledGroups;
  isMember = std::any_of(groups.begin(), groups.end(), [&](const Sid& enabled) { return EqualSid(enabled, group); });
  return std::nullopt;
}

}  // namespace ostrel::os
