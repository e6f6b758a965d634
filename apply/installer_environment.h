// The environment a downloaded installer runs in. A silent installer
// unpacks into its temporary directory; for a service that is the machine's
// shared one, where any user may create files first. So the installer gets
// a temporary directory of the updater's own and otherwise the caller's
// environment unchanged.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// The directory: InstallerTemporaryName in UpdaterDataDirectory.
inline constexpr std::u16string_view InstallerTemporaryName = u"installer-temp";
std::u16string InstallerTemporaryDirectory();

// The environment block (each "name=value" string zero-terminated, the block
// ended by one more zero) with TEMP and TMP set to temporaryDirectory: an
// entry of either name, in any letter case, takes the new value in its
// place, and a missing one is added at the end. Every other string is kept
// as it is, in its order.
std::u16string WithTemporaryDirectory(std::u16string_view environment, std::u16string_view temporaryDirectory);

}  // namespace ostrel
