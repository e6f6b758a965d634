#include "fake_os/fake_identity.h"

#include <cstdint>
#include <cstdlib>

namespace ostrel::fake {
namespace {

// The decimal number at the start of text, consumed; nothing if there is
// none or it exceeds the bound.
std::optional<std::uint64_t> TakeNumber(std::u16string_view& text, std::uint64_t bound) {
  std::size_t length = 0;
  std::uint64_t number = 0;
  while (length < text.size() && text[length] >= u'0' && text[length] <= u'9') {
    number = number * 10 + (text[length] - u'0');
    if (number > bound) return std::nullopt;
    ++length;
  }
  if (length == 0) return std::nullopt;
  text.remove_prefix(length);
  return number;
}

bool TakeDash(std::u16string_view& text) {
  if (text.empty() || text.front() != u'-') return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

std::optional<os::Sid> ParseSid(std::u16string_view text) {
  if (!text.starts_with(u"S-")) return std::nullopt;
  text.remove_prefix(2);
  auto revision = TakeNumber(text, 1);
  if (revision != 1 || !TakeDash(text)) return std::nullopt;
  auto authority = TakeNumber(text, 0xFFFFFFFFFFFFull);
  if (!authority) return std::nullopt;
  os::Sid sid{{1, 0}};
  for (int shift = 40; shift >= 0; shift -= 8) sid.bytes.push_back(static_cast<std::uint8_t>(*authority >> shift));
  while (!text.empty()) {
    if (!TakeDash(text)) return std::nullopt;
    auto subAuthority = TakeNumber(text, 0xFFFFFFFFu);
    if (!subAuthority || sid.bytes[1] == 15) return std::nullopt;
    for (int shift = 0; shift < 32; shift += 8) sid.bytes.push_back(static_cast<std::uint8_t>(*subAuthority >> shift));
    ++sid.bytes[1];
  }
  return sid;
}

FakeIdentity FakeIdentity::LocalSystem() {
  FakeIdentity identity;
  identity.processUser = SidFromString(LocalSystemSid);
  identity.enabledGroups = {SidFromString(AdministratorsSid), SidFromString(EveryoneSid),
                            SidFromString(AuthenticatedUsersSid)};
  identity.defaultOwner = SidFromString(LocalSystemSid);
  return identity;
}

FakeIdentity FakeIdentity::StandardUser(std::u16string_view user) {
  FakeIdentity identity;
  identity.processUser = SidFromString(user);
  identity.enabledGroups = {SidFromString(UsersSid), SidFromString(AuthenticatedUsersSid),
                            SidFromString(EveryoneSid)};
  identity.defaultOwner = identity.processUser;
  return identity;
}

os::Sid SidFromString(std::u16string_view text) {
  std::optional<os::Sid> sid = ParseSid(text);
  if (!sid) std::abort();
  return *sid;
}

}  // namespace ostrel::fake
