// The facts that outlive every run of the updater and that every role may
// read, whatever account it runs under: the installed browser version and
// whether the updater is being removed. Both are values of UpdaterRegistryKey
// under HKEY_LOCAL_MACHINE, always in the 64-bit view, so a 32-bit reader
// would see the same values.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "os/registry.h"

namespace ostrel {

// Created on first write with default security and never deleted. Holds
// "Version" (REG_SZ, a release version text) and "Uninstalling" (REG_DWORD,
// 1 from the start of a removal on, 0 after an installation).
inline constexpr std::u16string_view UpdaterRegistryKey = u"SOFTWARE\\Ostrel\\NativeUpdater";

// The installed browser version, validated as a release version. Fails with
// "Installed Ostrel version is unavailable" when "Version" is missing, is not
// a string, or does not fit 255 UTF-16 units, and with the failures of
// ParseReleaseVersion when it is not a release version.
std::u16string ReadInstalledVersion();

// Whether the release version is newer than ReadInstalledVersion, with its
// failures.
bool IsNewerThanInstalled(std::string_view releaseVersion);

// Whether a removal is in progress: "Uninstalling" reads as a non-zero
// number. Anything else, including a missing or mistyped value, is false; it
// never fails.
bool IsUninstalling();

// Stores 1 or 0 as "Uninstalling". Fails with "Cannot open updater registry"
// or "Cannot set updater state".
void SetUninstalling(bool uninstalling);

// Stores the text as a string value of the subkey (its default value when the
// name is absent), creating the subkey if needed, in the 64-bit view. Fails
// with "Open updater registry" and the registry's code, or with "Cannot write
// updater registry".
void WriteRegistryString(os::RootKey root, std::u16string_view subKey, std::optional<std::u16string_view> valueName,
                         std::u16string_view text);

}  // namespace ostrel
