#include "state/machine_policy.h"

#include <array>
#include <charconv>
#include <exception>
#include <optional>
#include <stdexcept>
#include <vector>

#include "foundation/failure.h"
#include "foundation/text_conversion.h"
#include "release/release_version.h"
#include "security/object_acl.h"

namespace ostrel {
namespace {

constexpr os::RootKey LocalMachine = os::RootKey::HkeyLocalMachine;
constexpr std::size_t MaximumPrefixNumbers = 3;

std::string Utf8Name(const PolicyValue& value) { return ToUtf8(std::u16string(value.name)); }

// The value's data, or none when it is missing. Fails when it is there but
// cannot be taken as the type the policy gives it.
std::optional<std::uint32_t> ReadDword(const PolicyValue& value) {
  std::uint32_t number = 0;
  std::uint32_t size = sizeof number;
  const os::Failure failure =
      os::RegGetValue(LocalMachine, MachinePolicyKey, value.name, os::RrfRtRegDword | os::RrfSubkeyWow6464Key,
                      &number, size);
  if (failure == os::ErrorFileNotFound) return std::nullopt;
  if (failure) throw std::runtime_error(Utf8Name(value) + " is not a number");
  return number;
}

std::optional<std::string> ReadString(const PolicyValue& value) {
  // Restricted to string values, the read guarantees a terminating zero.
  std::array<char16_t, 64> buffer{};
  std::uint32_t size = sizeof buffer;
  const os::Failure failure = os::RegGetValue(LocalMachine, MachinePolicyKey, value.name,
                                              os::RrfRtRegSz | os::RrfSubkeyWow6464Key, buffer.data(), size);
  if (failure == os::ErrorFileNotFound) return std::nullopt;
  if (failure) throw std::runtime_error(Utf8Name(value) + " is not a short text");
  std::u16string_view stored(buffer.data(), size / sizeof(char16_t));
  return ToUtf8(std::u16string(stored.substr(0, stored.find(u'\0'))));
}

// The numbers of the prefix, a trailing dot dropped; fails unless there are
// one to three, each of digits only.
std::vector<std::uint32_t> PrefixNumbers(std::string_view prefix) {
  if (prefix.ends_with('.')) prefix.remove_suffix(1);
  std::vector<std::uint32_t> numbers;
  while (true) {
    const std::string_view part = prefix.substr(0, prefix.find('.'));
    std::uint32_t number = 0;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), number);
    if (part.empty() || error != std::errc() || end != part.data() + part.size() ||
        numbers.size() == MaximumPrefixNumbers) {
      throw std::runtime_error(Utf8Name(TargetVersionPrefixPolicy) + " is not a version prefix");
    }
    numbers.push_back(number);
    if (part.size() == prefix.size()) return numbers;
    prefix.remove_prefix(part.size() + 1);
  }
}

MachinePolicy ReadFollowedPolicy() {
  ValidateRegistryKeyAcl(MachinePolicyKey);
  MachinePolicy policy;
  policy.updatesEnabled = ReadDword(UpdatesEnabledPolicy).value_or(1) != 0;
  std::string prefix = ReadString(TargetVersionPrefixPolicy).value_or("");
  if (!prefix.empty()) {
    PrefixNumbers(prefix);
    if (prefix.ends_with('.')) prefix.pop_back();
    policy.targetVersionPrefix = prefix;
  }
  return policy;
}

}  // namespace

bool MachinePolicy::Admits(std::string_view releaseVersion) const {
  const ReleaseVersion version = ParseReleaseVersion(releaseVersion);
  if (targetVersionPrefix.empty()) return true;
  const std::uint32_t released[] = {version.major, version.minor, version.patch};
  const std::vector<std::uint32_t> held = PrefixNumbers(targetVersionPrefix);
  for (std::size_t index = 0; index < held.size(); ++index) {
    if (held[index] != released[index]) return false;
  }
  return true;
}

std::string MachinePolicy::HeldMessage() const {
  return "Held at version " + targetVersionPrefix + " by machine policy";
}

MachinePolicy ReadMachinePolicy() {
  os::RegistryKey key;
  const os::Failure opened =
      os::RegOpenKeyEx(LocalMachine, MachinePolicyKey, os::KeyQueryValue | os::KeyWow6464Key, key);
  if (opened == os::ErrorFileNotFound) return MachinePolicy{};
  try {
    if (opened) RaiseLastError("Open machine policy", *opened);
    return ReadFollowedPolicy();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& failure) {
    return MachinePolicy{true, "", std::string("Machine policy ignored: ") + failure.what()};
  }
}

}  // namespace ostrel
