#include "state/registry_state.h"

#include <array>
#include <cstdint>
#include <stdexcept>

#include "foundation/failure.h"
#include "foundation/text_conversion.h"
#include "release/release_version.h"

namespace ostrel {
namespace {

constexpr os::RootKey LocalMachine = os::RootKey::HkeyLocalMachine;

// Opens the subkey of the 64-bit view for setting values, creating it when
// needed.
os::Failure CreateKeyForWriting(os::RootKey root, std::u16string_view subKey, os::RegistryKey& key) {
  return os::RegCreateKeyEx(root, subKey, os::RegOptionNonVolatile, os::KeySetValue | os::KeyWow6464Key, key);
}

}  // namespace

std::u16string ReadInstalledVersion() {
  // Restricted to string values, the read guarantees a terminating zero in
  // the buffer; a longer value fails rather than being cut.
  std::array<char16_t, 256> buffer{};
  std::uint32_t size = sizeof buffer;
  const os::Failure failure = os::RegGetValue(LocalMachine, UpdaterRegistryKey, u"Version",
                                              os::RrfRtRegSz | os::RrfSubkeyWow6464Key, buffer.data(), size);
  Require(!failure && size >= sizeof(char16_t), "Installed Ostrel version is unavailable");
  std::u16string_view stored(buffer.data(), size / sizeof(char16_t));
  std::u16string version(stored.substr(0, stored.find(u'\0')));
  ParseReleaseVersion(ToUtf8(version));
  return version;
}

bool IsNewerThanInstalled(std::string_view releaseVersion) {
  return CompareReleaseVersions(releaseVersion, ToUtf8(ReadInstalledVersion())) > 0;
}

bool IsUninstalling() {
  std::uint32_t uninstalling = 0;
  std::uint32_t size = sizeof uninstalling;
  const os::Failure failure = os::RegGetValue(LocalMachine, UpdaterRegistryKey, u"Uninstalling",
                                              os::RrfRtRegDword | os::RrfSubkeyWow6464Key, &uninstalling, size);
  return !failure && uninstalling != 0;
}

void SetUninstalling(bool uninstalling) {
  os::RegistryKey key;
  Require(!CreateKeyForWriting(LocalMachine, UpdaterRegistryKey, key), "Cannot open updater registry");
  std::uint32_t value = uninstalling ? 1 : 0;
  Require(!os::RegSetValueEx(key, u"Uninstalling", os::RegDword, &value, sizeof value), "Cannot set updater state");
}

void WriteRegistryString(os::RootKey root, std::u16string_view subKey, std::optional<std::u16string_view> valueName,
                         std::u16string_view text) {
  os::RegistryKey key;
  // The registry returns its error rather than setting the thread's last
  // error, so the returned code is the one appended.
  if (const os::Failure failure = CreateKeyForWriting(root, subKey, key)) {
    RaiseLastError("Open updater registry", *failure);
  }
  // Stored with its terminating zero, which the size counts.
  std::u16string terminated(text);
  auto size = static_cast<std::uint32_t>((terminated.size() + 1) * sizeof(char16_t));
  Require(!os::RegSetValueEx(key, valueName, os::RegSz, terminated.c_str(), size), "Cannot write updater registry");
}

}  // namespace ostrel
