// Repairing what an ordinary user can arrange before the updater is
// installed: any user may create folders in the program-data folder, so the
// updater's working directory (or a junction in its place) may already exist
// and belong to someone untrusted. Every role refuses such a directory; only
// the installation, run by an administrator, moves it out of the way.
#pragma once

#include <string_view>

namespace ostrel {

// When the object at the path exists, its parents pass ValidateUpdaterPath
// and it fails ValidateObjectAcl itself (its owner, its DACL or being a
// reparse point), renames it by handle, opened without following a reparse
// point, to "<name>.untrusted-" and 32 hexadecimal digits from the system's
// random source, beside it. A missing or
// trusted object is left as it is, and a parent's offence is raised
// unchanged. Fails with "Cannot set aside untrusted updater directory" and
// the system's code when the random source fails or the object cannot be
// opened or renamed (a user holding it open without sharing deletion).
void SetAsideUntrustedDirectory(std::u16string_view path);

}  // namespace ostrel
