// The registry: keys and values of HKEY_LOCAL_MACHINE, addressed in the
// 64-bit or the 32-bit view whatever the bitness of the process. Each call
// returns its status rather than setting the last error: it fails when the
// status is not ERROR_SUCCESS, with the status as the failure's code.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "os/access_rights.h"
#include "os/error_code.h"
#include "os/owned_value.h"

namespace ostrel::os {

// A predefined root key, by its Win32 value.
enum class RootKey : std::uint32_t {
  HkeyLocalMachine = 0x80000002,
};

// RegCloseKey. A failure is dropped: nothing can be done about it.
void RegCloseKey(std::uintptr_t key) noexcept;

// The owner of an open registry key.
using RegistryKey = OwnedValue<RegCloseKey>;

// Value types.
inline constexpr std::uint32_t RegSz = 1;
inline constexpr std::uint32_t RegDword = 4;

// RegCreateKeyExW options and access rights; the two KeyWow64 rights choose
// the view.
inline constexpr std::uint32_t RegOptionNonVolatile = 0;
inline constexpr std::uint32_t KeyQueryValue = 0x0001;
inline constexpr std::uint32_t KeySetValue = 0x0002;
inline constexpr std::uint32_t KeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t KeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t KeyCreateLink = 0x0020;
inline constexpr std::uint32_t KeyWow6464Key = 0x0100;
inline constexpr std::uint32_t KeyWow6432Key = 0x0200;

// RegGetValueW flags: the value types accepted (any other type fails with
// ErrorUnsupportedType), and the view in which the subkey is opened.
inline constexpr std::uint32_t RrfRtRegSz = 0x00000002;
inline constexpr std::uint32_t RrfRtRegDword = 0x00000010;
inline constexpr std::uint32_t RrfSubkeyWow6464Key = 0x00010000;
inline constexpr std::uint32_t RrfSubkeyWow6432Key = 0x00020000;

inline constexpr ErrorCode ErrorMoreData = 234;
inline constexpr ErrorCode ErrorUnsupportedType = 1630;

// RegGetValueW: reads the value (the key's default value when the name is
// absent) of the subkey into data, dataSize bytes long. On return dataSize
// holds the bytes stored, or the bytes needed when the failure is
// ErrorMoreData. A string value always arrives with its terminating zero,
// counted in dataSize, even when it was stored without one.
[[nodiscard]] Failure RegGetValue(RootKey root, std::u16string_view subKey,
                                  std::optional<std::u16string_view> valueName, std::uint32_t flags, void* data,
                                  std::uint32_t& dataSize);

// RegCreateKeyExW with default security: opens the subkey, creating it and
// any missing parent when needed.
[[nodiscard]] Failure RegCreateKeyEx(RootKey root, std::u16string_view subKey, std::uint32_t options,
                                     std::uint32_t desiredAccess, RegistryKey& key);

// RegSetValueExW: stores dataSize bytes as the value (the key's default value
// when the name is absent) of the given type. A failed write leaves the value
// as it was.
[[nodiscard]] Failure RegSetValueEx(const RegistryKey& key, std::optional<std::u16string_view> valueName,
                                    std::uint32_t type, const void* data, std::uint32_t dataSize);

// RegOpenKeyExW: opens an existing subkey with the access asked for, in the
// view that access names.
[[nodiscard]] Failure RegOpenKeyEx(RootKey root, std::u16string_view subKey, std::uint32_t desiredAccess,
                                   RegistryKey& key);

// RegDeleteTreeW of the open key itself (no subkey named): every value of
// the key and every key below it, in the view the key was opened in. The key
// itself stays; it needs Delete, KeyEnumerateSubKeys, KeyQueryValue and
// KeySetValue.
[[nodiscard]] Failure RegDeleteTree(const RegistryKey& key);

// RegDeleteKeyExW: deletes the subkey of the view that viewAccess
// (KeyWow6464Key or KeyWow6432Key) names. A key that still has subkeys is
// refused with ErrorAccessDenied.
[[nodiscard]] Failure RegDeleteKeyEx(RootKey root, std::u16string_view subKey, std::uint32_t viewAccess);

}  // namespace ostrel::os
