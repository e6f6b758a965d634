// Between owned SIDs and the SID pointers of the Windows API.
#pragma once

#include <cstdint>
#include <vector>

#include "os/security_identifier.h"
#include "os/win32/windows_api.h"

namespace ostrel::os::win32 {

// The system reads a SID through a PSID; an owned SID lends its bytes.
inline PSID SidPointer(const Sid& sid) { return const_cast<std::uint8_t*>(sid.bytes.data()); }

// An owned copy of a valid SID that lives in a buffer of the system's.
inline Sid CopySid(PSID sid) {
  const auto* bytes = static_cast<const std::uint8_t*>(sid);
  return Sid{std::vector<std::uint8_t>(bytes, bytes + ::GetLengthSid(sid))};
}

// The SID the boundary reports for one the system read out of a token or a
// security descriptor (a token's user, an object's owner, an ACE's trustee).
// The product reports it as it is (reported_sid.cpp); only the Wine
// integration build links another definition.
Sid ReportedSid(PSID sid);

}  // namespace ostrel::os::win32
