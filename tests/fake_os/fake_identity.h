// Who the fake process is: the user of its primary token and the groups
// enabled in its effective token, with the SIDs tests arrange them from.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "os/error_code.h"
#include "os/security_identifier.h"

namespace ostrel::fake {

// SIDs in string form, for arranging identities, owners and access entries.
inline constexpr std::u16string_view LocalSystemSid = u"S-1-5-18";
inline constexpr std::u16string_view LocalServiceSid = u"S-1-5-19";
inline constexpr std::u16string_view NetworkServiceSid = u"S-1-5-20";
inline constexpr std::u16string_view AdministratorsSid = u"S-1-5-32-544";
inline constexpr std::u16string_view UsersSid = u"S-1-5-32-545";
inline constexpr std::u16string_view AuthenticatedUsersSid = u"S-1-5-11";
inline constexpr std::u16string_view EveryoneSid = u"S-1-1-0";
// Stands, in an inheritable entry, for whoever will own the new object.
inline constexpr std::u16string_view CreatorOwnerSid = u"S-1-3-0";
inline constexpr std::u16string_view TrustedInstallerSid =
    u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// Some other service's SID, trusted by nobody.
inline constexpr std::u16string_view OtherServiceSid =
    u"S-1-5-80-1913148863-3492339771-4165456664-3596253358-2405217815";
// An individual account that belongs to Administrators, and the user every
// process runs as under Wine (also a member of Administrators there).
inline constexpr std::u16string_view AdministratorAccountSid = u"S-1-5-21-1004336348-1177238915-682003330-500";
inline constexpr std::u16string_view InteractiveUserSid = u"S-1-5-21-0-0-0-1000";

// The binary SID for "S-R-A-S1-...-Sn" (decimal parts, at most 15
// sub-authorities), or nothing when the text is not of that form.
std::optional<os::Sid> ParseSid(std::u16string_view text);

// The binary SID of a string that tests know to be valid.
os::Sid SidFromString(std::u16string_view text);

struct FakeIdentity {
  // By default the process is what it is under Wine: an ordinary user who is
  // an elevated administrator. Deny-only groups, such as Administrators for
  // an administrator who has not elevated, are not listed: membership does
  // not count them.
  os::Sid processUser = SidFromString(InteractiveUserSid);
  std::vector<os::Sid> enabledGroups = {SidFromString(AdministratorsSid), SidFromString(UsersSid),
                                        SidFromString(AuthenticatedUsersSid), SidFromString(EveryoneSid)};
  // The owner of the objects the process creates without a descriptor: an
  // elevated administrator's token names Administrators, anyone else's the
  // user.
  os::Sid defaultOwner = SidFromString(AdministratorsSid);

  // The service account, as the service and the apply worker run.
  static FakeIdentity LocalSystem();
  // An ordinary user of the machine, neither elevated nor an administrator.
  static FakeIdentity StandardUser(std::u16string_view user = InteractiveUserSid);

  // Failures to inject, each returned by the call it names.
  os::Failure openProcessTokenResult;
  os::Failure getTokenUserResult;
  os::Failure createWellKnownSidResult;
  os::Failure convertStringSidToSidResult;
  os::Failure checkTokenMembershipResult;
};

}  // namespace ostrel::fake
