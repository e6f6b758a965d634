// The registry of the fake machine: the keys of HKEY_LOCAL_MACHINE in its
// 64-bit and 32-bit views, their typed values, and the keys held open.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fake_os/fake_security.h"
#include "os/error_code.h"

namespace ostrel::fake {

// Windows redirects only parts of the hive (most of SOFTWARE) for 32-bit
// access; the fake keeps two whole hives, which is all the tests need.
enum class RegistryView { Bit64, Bit32 };

struct FakeRegistryValue {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;

  // A REG_SZ value stored with its terminating zero, as the updater stores it.
  static FakeRegistryValue String(std::u16string_view text);
  static FakeRegistryValue Dword(std::uint32_t number);

  friend bool operator==(const FakeRegistryValue&, const FakeRegistryValue&) = default;
};

struct FakeRegistry {
  // Key paths are below HKEY_LOCAL_MACHINE; key paths and value names match
  // regardless of ASCII case, and the empty name is the key's default value.
  using KeyPath = std::pair<RegistryView, std::u16string>;

  void SetValue(RegistryView view, std::u16string_view key, std::u16string_view name, FakeRegistryValue value);
  // The value, or nullptr when the key or the value does not exist.
  const FakeRegistryValue* Value(RegistryView view, std::u16string_view key, std::u16string_view name) const;
  static KeyPath Path(RegistryView view, std::u16string_view key);
  // The same for tests to compare with: nullopt when the value is missing,
  // so a comparison fails with a message rather than reading through null.
  std::optional<FakeRegistryValue> Stored(RegistryView view, std::u16string_view key, std::u16string_view name) const;

  std::map<KeyPath, std::map<std::u16string, FakeRegistryValue>> keys;
  // The owner and DACL of keys whose security a test sets; every other key
  // has TrustedKeySecurity.
  std::map<KeyPath, FakeSecurity> security;

  struct OpenKey {
    KeyPath path;
    std::uint32_t access;
  };
  // Keys opened and not yet closed, by handle value.
  std::map<std::uintptr_t, OpenKey> openKeys;
  std::uintptr_t nextKey = 0x1000;

  // Runs as each deletion of keys begins (RegDeleteTreeW, RegDeleteKeyExW):
  // what another process sees at that moment.
  std::function<void()> beforeDelete;

  // Failures to inject, each returned by the call it names.
  os::Failure getValueResult;
  os::Failure createKeyResult;
  os::Failure setValueResult;
};

// What a key under SOFTWARE has on a well-kept machine: owned by
// Administrators, full control for LocalSystem and Administrators, KEY_READ
// for Users.
FakeSecurity TrustedKeySecurity();

// Names as the registry compares them.
std::u16string FoldRegistryName(std::u16string_view name);

}  // namespace ostrel::fake
