// Machine policy: what the administrator of a machine decides about its
// updates, under HKEY_LOCAL_MACHINE in the 64-bit view, where Group Policy
// writes it (the administrative template, ostrel-update.admx, defines the
// same key and values). The names below are the only place they are spelled.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "os/registry.h"

namespace ostrel {

inline constexpr std::u16string_view MachinePolicyKey = u"SOFTWARE\\Policies\\Ostrel\\Update";

// A value of MachinePolicyKey and the registry type it has.
struct PolicyValue {
  std::u16string_view name;
  std::uint32_t type;
};

// 0 turns updates off; any other number, or no value, leaves them on.
inline constexpr PolicyValue UpdatesEnabledPolicy{u"UpdatesEnabled", os::RegDword};
// Keeps the machine on the releases whose version starts with the numbers
// given: "1.4." (or "1.4") admits 1.4.0 and 1.4.7-beta.1, not 1.5.0. Empty or
// no value: every release.
inline constexpr PolicyValue TargetVersionPrefixPolicy{u"TargetVersionPrefix", os::RegSz};

inline constexpr const char* UpdatesTurnedOffMessage = "Updates are turned off by machine policy";

struct MachinePolicy {
  bool updatesEnabled = true;
  // One to three numbers joined by dots, without a trailing dot; empty: none.
  std::string targetVersionPrefix;
  // Why the key, present, was not followed, as a history line says it;
  // empty when it was followed or is absent.
  std::string ignored;

  // Whether the release version is within the prefix. Fails with the
  // failures of ParseReleaseVersion.
  bool Admits(std::string_view releaseVersion) const;
  // "Held at version <prefix> by machine policy".
  std::string HeldMessage() const;
};

// The policy as it stands now. A missing key or value is the default. A key
// that does not pass ValidateRegistryKeyAcl, or a value of another type, too
// long, or (the prefix) not one to three numbers, is not followed: the
// policy is then the default as a whole, with the reason in "ignored". Never
// fails but for a failure to allocate memory: a policy only holds updates
// back, so one nobody can vouch for is never a reason to.
MachinePolicy ReadMachinePolicy();

}  // namespace ostrel
