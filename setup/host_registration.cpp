#include "setup/host_registration.h"

#include <string>

#include "build_configuration.h"
#include "foundation/json_access.h"
#include "foundation/path_comparison.h"
#include "foundation/path_join.h"
#include "foundation/text_conversion.h"
#include "locations/updater_locations.h"
#include "security/protected_file.h"
#include "state/registry_state.h"

namespace ostrel {
namespace {

constexpr std::uint32_t RegistrationBufferBytes = 65536;

// What RegDeleteTreeW needs on the key whose contents it deletes.
constexpr std::uint32_t TreeDeletionAccess = os::Delete | os::KeyEnumerateSubKeys | os::KeyQueryValue | os::KeySetValue;

// The manifest the browser reads to start the host for the extension.
JsonObject NativeHostManifest(std::u16string_view executablePath) {
  JsonObject manifest;
  manifest.SetNamedValue(u"name", JsonValue::CreateStringValue(u"is.ostrel.updater"));
  manifest.SetNamedValue(u"description", JsonValue::CreateStringValue(u"Ostrel native update control"));
  manifest.SetNamedValue(u"path", JsonValue::CreateStringValue(executablePath));
  manifest.SetNamedValue(u"type", JsonValue::CreateStringValue(u"stdio"));
  JsonArray origins;
  origins.Append(JsonValue::CreateStringValue(AllowedExtensionOrigin));
  manifest.SetNamedValue(u"allowed_origins", origins);
  return manifest;
}

// RegDeleteTreeW names no view, so the key is opened in the 64-bit view, its
// contents deleted through it, and then the key itself in that view. A
// registration that stays behind names a manifest nobody serves; the
// removal goes on regardless.
void DeleteRegistrationKey() {
  os::RegistryKey key;
  if (os::RegOpenKeyEx(os::RootKey::HkeyLocalMachine, HostRegistrationKey, TreeDeletionAccess | os::KeyWow6464Key,
                       key) ||
      os::RegDeleteTree(key)) {
    return;
  }
  (void)os::RegDeleteKeyEx(os::RootKey::HkeyLocalMachine, HostRegistrationKey, os::KeyWow6464Key);
}

}  // namespace

std::u16string HostManifestPath() { return JoinPath(UpdaterDirectory(), HostManifestName); }

void RegisterNativeHost(std::u16string_view executablePath) {
  std::u16string manifestPath = HostManifestPath();
  WriteProtectedFile(manifestPath, ToUtf8(NativeHostManifest(executablePath).Stringify()));
  WriteRegistryString(os::RootKey::HkeyLocalMachine, HostRegistrationKey, std::nullopt, manifestPath);
}

void RemoveNativeHostRegistration() {
  std::u16string registered(RegistrationBufferBytes / sizeof(char16_t), u'\0');
  std::uint32_t size = RegistrationBufferBytes;
  if (os::RegGetValue(os::RootKey::HkeyLocalMachine, HostRegistrationKey, std::nullopt,
                      os::RrfRtRegSz | os::RrfSubkeyWow6464Key, registered.data(), size)) {
    return;
  }
  // The value arrives with its terminating zero.
  registered.resize(size / sizeof(char16_t));
  if (!registered.empty() && registered.back() == u'\0') registered.pop_back();
  if (!SamePath(registered, HostManifestPath())) return;
  DeleteRegistrationKey();
}

}  // namespace ostrel
