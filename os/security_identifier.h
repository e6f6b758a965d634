// Security identifiers (SIDs): how Windows names accounts, groups and
// services in tokens, owners and access entries.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "os/error_code.h"

namespace ostrel::os {

// A SID in its binary form (revision, sub-authority count, 48-bit authority,
// sub-authorities), copied out of whatever buffer the system returned so that
// it outlives that buffer. Compare SIDs with EqualSid.
struct Sid {
  std::vector<std::uint8_t> bytes;
};

// The WELL_KNOWN_SID_TYPE values the updater asks about.
enum class WellKnownSidType : std::uint32_t {
  WinLocalSystemSid = 22,
  WinBuiltinAdministratorsSid = 26,
};

inline constexpr ErrorCode ErrorInvalidSid = 1337;

// IsWellKnownSid: whether the SID is exactly the well-known SID of this type.
bool IsWellKnownSid(const Sid& sid, WellKnownSidType type);

// CreateWellKnownSid without a domain SID, into a buffer of the largest size
// a SID can have (68 bytes).
[[nodiscard]] Failure CreateWellKnownSid(WellKnownSidType type, Sid& sid);

// ConvertStringSidToSidW ("S-1-5-18"); the SID the system allocates is copied
// and released with LocalFree at once.
[[nodiscard]] Failure ConvertStringSidToSid(std::u16string_view text, Sid& sid);

// EqualSid: whether the two SIDs are the same.
bool EqualSid(const Sid& first, const Sid& second);

}  // namespace ostrel::os
