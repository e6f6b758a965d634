// Whether a file-system object may be trusted: reached without reparse
// points, owned by a trusted principal, writable by nobody else.
#pragma once

#include <cstdint>
#include <string_view>

#include "os/registry.h"
#include "os/security_descriptor.h"

namespace ostrel {

// The rights that count as write access when an allowed entry grants them
// to an untrusted principal. Reading, listing, executing, READ_CONTROL,
// SYNCHRONIZE, MAXIMUM_ALLOWED and ACCESS_SYSTEM_SECURITY may go to anyone.
inline constexpr std::uint32_t UntrustedWriteMask =
    os::GenericAll | os::GenericWrite | os::WriteOwner | os::WriteDac | os::Delete | os::FileWriteAttributes |
    os::FileDeleteChild | os::FileWriteEa | os::FileAppendData | os::FileWriteData;
static_assert(UntrustedWriteMask == 0x500D0156);

// Returns when the path passes ValidateUpdaterPath, the object's owner is a
// trusted principal, it has a DACL, and every entry of the DACL that applies
// to the object is either a denial or an allowed entry that grants no right
// of UntrustedWriteMask to an untrusted principal. Each entry is judged on
// its own, inherited or not, in any order; inherit-only entries are skipped
// and any other entry type is refused. An empty DACL passes.
void ValidateObjectAcl(std::u16string_view path);

// The rights that count as write access to a registry key: KEY_READ (which
// holds KEY_NOTIFY, the bit of FILE_WRITE_EA) may go to anyone.
inline constexpr std::uint32_t UntrustedKeyWriteMask = os::GenericAll | os::GenericWrite | os::WriteOwner |
                                                       os::WriteDac | os::Delete | os::KeySetValue |
                                                       os::KeyCreateSubKey | os::KeyCreateLink;
static_assert(UntrustedKeyWriteMask == 0x500D0026);

// ValidateObjectAcl's rules for the key of HKEY_LOCAL_MACHINE, in the 64-bit
// view, with UntrustedKeyWriteMask, and its failures; a key that cannot be
// inspected (a missing one too) fails with "Cannot inspect protected updater
// ACL".
void ValidateRegistryKeyAcl(std::u16string_view machineSubKey);

}  // namespace ostrel
