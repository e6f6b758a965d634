#include "fake_os/fake_registry.h"

#include <cstring>

namespace ostrel::fake {

FakeRegistryValue FakeRegistryValue::String(std::u16string_view text) {
  FakeRegistryValue value{1, std::vector<std::uint8_t>((text.size() + 1) * sizeof(char16_t))};
  std::memcpy(value.data.data(), text.data(), text.size() * sizeof(char16_t));
  return value;
}

FakeRegistryValue FakeRegistryValue::Dword(std::uint32_t number) {
  FakeRegistryValue value{4, std::vector<std::uint8_t>(sizeof number)};
  std::memcpy(value.data.data(), &number, sizeof number);
  return value;
}

FakeSecurity TrustedKeySecurity() {
  constexpr std::uint32_t keyAllAccess = 0xF003F;
  constexpr std::uint32_t keyRead = 0x20019;
  return FakeSecurity{SidFromString(AdministratorsSid),
                      std::vector<FakeAce>{Allowed(LocalSystemSid, keyAllAccess), Allowed(AdministratorsSid, keyAllAccess),
                                           Allowed(UsersSid, keyRead)}};
}

std::u16string FoldRegistryName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& unit : folded) {
    if (unit >= u'A' && unit <= u'Z') unit += u'a' - u'A';
  }
  return folded;
}

FakeRegistry::KeyPath FakeRegistry::Path(RegistryView view, std::u16string_view key) {
  return {view, FoldRegistryName(key)};
}

void FakeRegistry::SetValue(RegistryView view, std::u16string_view key, std::u16string_view name,
                            FakeRegistryValue value) {
  keys[Path(view, key)][FoldRegistryName(name)] = std::move(value);
}

const FakeRegistryValue* FakeRegistry::Value(RegistryView view, std::u16string_view key,
                                             std::u16string_view name) const {
  auto values = keys.find(Path(view, key));
  if (values == keys.end()) return nullptr;
  auto value = values->second.find(FoldRegistryName(name));
  return value == values->second.end() ? nullptr : &value->second;
}

std::optional<FakeRegistryValue> FakeRegistry::Stored(RegistryView view, std::u16string_view key,
                                                      std::u16string_view name) const {
  const FakeRegistryValue* value = Value(view, key, name);
  if (value == nullptr) return std::nullopt;
  return *value;
}

}  // namespace ostrel::fake
