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
  RegistryView view = desiredAccess & KeyWow6432Key ? RegistryView::Bit32 : RegistryView::Bit64;
  fake::FakeRegistry::KeyPath path = fake::FakeRegistry::Path(view, subKey);
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

Failure RegDeleteTree(RootKey, std::u16string_view subKey) {
  fake::FakeRegistry::KeyPath path = fake::FakeRegistry::Path(RegistryView::Bit64, subKey);
  std::u16string below = path.second + u"\\";
  std::size_t erased = std::erase_if(Registry().keys, [&](const auto& key) {
    return key.first.first == path.first && (key.first.second == path.second || key.first.second.starts_with(below));
  });
  if (erased == 0) return ErrorFileNotFound;
  return std::nullopt;
}

}  // namespace ostrel::os
