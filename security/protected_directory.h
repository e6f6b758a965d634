// The updater's working directory, created so that only LocalSystem and
// Administrators can change what is in it.
#pragma once

#include <string_view>

namespace ostrel {

// Owner and group Administrators; a protected DACL (nothing inherited from
// the parent) giving LocalSystem and Administrators full control and Users
// read, list, traverse and execute, each inherited by files and
// subdirectories. None of the Users rights is a write right, so whatever is
// written below passes ValidateObjectAcl while users can still read it.
inline constexpr std::u16string_view ProtectedDirectorySddl =
    u"O:BAG:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Creates the directory with ProtectedDirectorySddl when it is missing (its
// parent must exist), then requires that it passes ValidateObjectAcl and is
// a directory. An existing directory keeps its own descriptor: it is
// accepted when it passes and never re-secured.
void EnsureProtectedDirectory(std::u16string_view path);

}  // namespace ostrel
