#include "os/registry.h"

#include <cstring>

#include "fake_os/fake_machine.h"

namespace ostrel::os {
namespace {

using fake::FakeRegistryValue;
using fake::RegistryView;

fake::FakeRegistry& Registry() { return fake::Machine().registry; }

// The bytes a read returns: a string value gains its terminating zero when it
// was stored without one.
std::vector<std::uint8_t> ReturnedData(const FakeRegistryValue& value) {
  std::vector<std::uint8_t> data = value.data;
  if (value.type != RegSz) return data;
  bool terminated = data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 2] == 0 && data.back() == 0;
  if (!terminated) {
    data.resize(data.size() + data.size() % 2);
    data.insert(data.end(), {0, 0});
  }
  return data;
}

bool TypeAccepted(std::uint32_t type, std::uint32_t flags) {
  return (type == RegSz && (flags & RrfRtRegSz)) || (type == RegDword && (flags & RrfRtRegDword));
}

RegistryView ViewOf(std::uint32_t access) {
  return access & KeyWow6432Key ? RegistryView::Bit32 : RegistryView::Bit64;
}

// Whether the key lies below the other, in the same view.
bool IsBelow(const fake::FakeRegistry::KeyPath& key, const fake::FakeRegistry::KeyPath& other) {
  return key.first == other.first && key.second.starts_with(other.second + u"\\");
}

}  // namespace

void RegCloseKey(std::uintptr_t key) noexcept { Registry().openKeys.erase(key); }

Failure RegGetValue(RootKey, std::u16string_view subKey, std::optional<std::u16string_view> valueName,
                    std::uint32_t flags, void* data, std::uint32_t& dataSize) {
  if (const Failure result = Registry().getValueResult) return result;
  RegistryView view = flags & RrfSubkeyWow6432Key ? RegistryView::Bit32 : RegistryView::Bit64;
  const FakeRegistryValue* value = Registry().Value(view, subKey, valueName.value_or(u""));
  if (!value) return ErrorFileNotFound;
  if (!TypeAccepted(value->type, flags)) return ErrorUnsupportedType;
  std::vector<std::uint8_t> returned = ReturnedData(*value);
  std::uint32_t available = dataSize;
  dataSize = static_cast<std::uint32_t>(returned.size());
  if (!data) return std::nullopt;
  if (available < returned.size()) return ErrorMoreData;
  std::memcpy(data, returned.data(), returned.size());
  return std::nullopt;
}

Failure RegCreateKeyEx(RootKey, std::u16string_view subKey, std::uint32_t, std::uint32_t desiredAccess,
                       RegistryKey& key) {
  if (const Failure result = Registry().createKeyResult) return result;
  fake::FakeRegistry::KeyPath path = fake::FakeRegistry::Path(ViewOf(desiredAccess), subKey);
  Registry().keys[path];
  std::uintptr_t handle = Registry().nextKey++;
  Registry().openKeys.emplace(handle, fake::FakeRegistry::OpenKey{path, desiredAccess});
  key = RegistryKey(handle);
  return std::nullopt;
}

Failure RegSetValueEx(const RegistryKey& key, std::optional<std::u16string_view> valueName, std::uint32_t type,
                      const void* data, std::uint32_t dataSize) {
  auto open = Registry().openKeys.find(key.value());
  if (open == Registry().openKeys.end()) return ErrorInvalidHandle;
  if (!(open->second.access & KeySetValue)) return ErrorAccessDenied;
  if (const Failure result = Registry().setValueResult) return result;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  Registry().keys[open->second.path][fake::FoldRegistryName(valueName.value_or(u""))] =
      FakeRegistryValue{type, std::vector<std::uint8_t>(bytes, bytes + dataSize)};
  return std::nullopt;
}

Failure RegOpenKeyEx(RootKey, std::u16string_view subKey, std::uint32_t desiredAccess, RegistryKey& key) {
  fake::FakeRegistry::KeyPath path = fake::FakeRegistry::Path(ViewOf(desiredAccess), subKey);
  if (!Registry().keys.contains(path)) return ErrorFileNotFound;
  std::uintptr_t handle = Registry().nextKey++;
  Registry().openKeys.emplace(handle, fake::FakeRegistry::OpenKey{path, desiredAccess});
  key = RegistryKey(handle);
  return std::nullopt;
}

Failure RegDeleteTree(const RegistryKey& key) {
  auto open = Registry().openKeys.find(key.value());
  if (open == Registry().openKeys.end()) return ErrorInvalidHandle;
  constexpr std::uint32_t needed = Delete | KeyEnumerateSubKeys | KeyQueryValue | KeySetValue;
  if ((open->second.access & needed) != needed) return ErrorAccessDenied;
  if (Registry().beforeDelete) Registry().beforeDelete();
  const fake::FakeRegistry::KeyPath path = open->second.path;
  std::erase_if(Registry().keys, [&path](const auto& other) { return IsBelow(other.first, path); });
  Registry().keys[path].clear();
  return std::nullopt;
}

Failure RegDeleteKeyEx(RootKey, std::u16string_view subKey, std::uint32_t viewAccess) {
  if (Registry().beforeDelete) Registry().beforeDelete();
  fake::FakeRegistry::KeyPath path = fake::FakeRegistry::Path(ViewOf(viewAccess), subKey);
  if (!Registry().keys.contains(path)) return ErrorFileNotFound;
  for (const auto& [other, values] : Registry().keys) {
    if (IsBelow(other, path)) return ErrorAccessDenied;
  }
  Registry().keys.erase(path);
  return std::nullopt;
}

}  // namespace ostrel::os
