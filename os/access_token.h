// The access tokens of the calling process and thread: who runs the code and
// in which groups.
#pragma once

#include <cstdint>

#include "os/error_code.h"
#include "os/handle.h"
#include "os/security_identifier.h"

namespace ostrel::os {

inline constexpr std::uint32_t TokenQuery = 0x0008;

// OpenProcessToken on GetCurrentProcess: the process's primary token, never
// a thread's impersonation token.
[[nodiscard]] Failure OpenProcessToken(std::uint32_t desiredAccess, Handle& token);

// GetTokenInformation for TokenUser: a first call with an empty buffer learns
// the size, whose result is ignored; a zeroed buffer of that size receives the
// TOKEN_USER, and its SID is copied out.
[[nodiscard]] Failure GetTokenUser(const Handle& token, Sid& user);

// CheckTokenMembership with no token handle, so the effective token of the
// calling thread is tested. Only enabled groups count: a deny-only group (an
// administrator who has not elevated) is not membership.
[[nodiscard]] Failure CheckTokenMembership(const Sid& group, bool& isMember);

}  // namespace ostrel::os
