#include "os/registry.h"

#include <string>

#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

// HKEY_LOCAL_MACHINE and its kind are 32-bit values sign-extended into a
// pointer, as the Windows headers define them.
HKEY PredefinedKey(RootKey root) {
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(static_cast<std::uint32_t>(root))));
}

HKEY KeyHandle(const RegistryKey& key) { return reinterpret_cast<HKEY>(key.value()); }

// An absent value name is passed as a null pointer, which names the key's
// default value.
std::optional<std::wstring> ValueName(std::optional<std::u16string_view> name) {
  if (!name) return std::nullopt;
  return win32::WideString(*name);
}

const wchar_t* NameOrNull(const std::optional<std::wstring>& name) { return name ? name->c_str() : nullptr; }

}  // namespace

void RegCloseKey(std::uintptr_t key) noexcept { ::RegCloseKey(reinterpret_cast<HKEY>(key)); }

Failure RegGetValue(RootKey root, std::u16string_view subKey, std::optional<std::u16string_view> valueName,
                    std::uint32_t flags, void* data, std::uint32_t& dataSize) {
  std::optional<std::wstring> name = ValueName(valueName);
  DWORD size = dataSize;
  LSTATUS status = ::RegGetValueW(PredefinedKey(root), win32::WideString(subKey).c_str(), NameOrNull(name), flags,
                                  nullptr, data, &size);
  dataSize = size;
  return win32::FailureOfStatus(status);
}

Failure RegCreateKeyEx(RootKey root, std::u16string_view subKey, std::uint32_t options, std::uint32_t desiredAccess,
                       RegistryKey& key) {
  HKEY created = nullptr;
  LSTATUS status = ::RegCreateKeyExW(PredefinedKey(root), win32::WideString(subKey).c_str(), 0, nullptr, options,
                                     desiredAccess, nullptr, &created, nullptr);
  if (status != ERROR_SUCCESS) return win32::FailureOfStatus(status);
  key = RegistryKey(reinterpret_cast<std::uintptr_t>(created));
  return std::nullopt;
}

Failure RegSetValueEx(const RegistryKey& key, std::optional<std::u16string_view> valueName, std::uint32_t type,
                      const void* data, std::uint32_t dataSize) {
  std::optional<std::wstring> name = ValueName(valueName);
  return win32::FailureOfStatus(
      ::RegSetValueExW(KeyHandle(key), NameOrNull(name), 0, type, static_cast<const BYTE*>(data), dataSize));
}

Failure RegOpenKeyEx(RootKey root, std::u16string_view subKey, std::uint32_t desiredAccess, RegistryKey& key) {
  HKEY opened = nullptr;
  LSTATUS status = ::RegOpenKeyExW(PredefinedKey(root), win32::WideString(subKey).c_str(), 0, desiredAccess, &opened);
  if (status != ERROR_SUCCESS) return win32::FailureOfStatus(status);
  key = RegistryKey(reinterpret_cast<std::uintptr_t>(opened));
  return std::nullopt;
}

Failure RegDeleteTree(const RegistryKey& key) {
  return win32::FailureOfStatus(::RegDeleteTreeW(KeyHandle(key), nullptr));
}

Failure RegDeleteKeyEx(RootKey root, std::u16string_view subKey, std::uint32_t viewAccess) {
  return win32::FailureOfStatus(
      ::RegDeleteKeyExW(PredefinedKey(root), win32::WideString(subKey).c_str(), viewAccess, 0));
}

}  // namespace ostrel::os
