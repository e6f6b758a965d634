// The registration through which the browser finds the updater's native
// messaging host: a key of HKEY_LOCAL_MACHINE in the 64-bit view whose
// default value names the host's manifest.
#pragma once

#include <string_view>

namespace ostrel {

inline constexpr std::u16string_view HostRegistrationKey =
    u"SOFTWARE\\Chromium\\NativeMessagingHosts\\is.ostrel.updater";

// The full path of this installation's manifest, "native-host.json" in
// UpdaterDirectory.
std::u16string HostManifestPath();

// Writes the manifest with WriteProtectedFile and registers it, creating the
// key when missing; fails as those writes fail.
void RegisterNativeHost(std::u16string_view executablePath);

// Deletes the registration when its default value, read as REG_SZ of at most
// 65536 bytes, names this installation's manifest by SamePath. Anything else
// (no key, no value, another type, a longer value, another manifest) is left
// untouched, silently, and so is a failed deletion.
void RemoveNativeHostRegistration();

}  // namespace ostrel
