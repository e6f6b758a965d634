#include "os/security_identifier.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {
namespace {

std::u16string_view WellKnownSidString(WellKnownSidType type) {
  switch (type) {
    case WellKnownSidType::WinLocalSystemSid:
      return fake::LocalSystemSid;
    case WellKnownSidType::WinBuiltinAdministratorsSid:
      return fake::AdministratorsSid;
  }
  return {};
}

}  // namespace

bool IsWellKnownSid(const Sid& sid, WellKnownSidType type) {
  return sid.bytes == fake::SidFromString(WellKnownSidString(type)).bytes;
}

Failure CreateWellKnownSid(WellKnownSidType type, Sid& sid) {
  if (const Failure result = fake::Machine().identity.createWellKnownSidResult) return result;
  sid = fake::SidFromString(WellKnownSidString(type));
  return std::nullopt;
}

Failure ConvertStringSidToSid(std::u16string_view text, Sid& sid) {
  if (const Failure result = fake::Machine().identity.convertStringSidToSidResult) return result;
  std::optional<Sid> converted = fake::ParseSid(text);
  if (!converted) return ErrorInvalidSid;
  sid = *std::move(converted);
  return std::nullopt;
}

bool EqualSid(const Sid& first, const Sid& second) { return first.bytes == second.bytes; }

}  // namespace ostrel::os
