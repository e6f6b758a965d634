// Proof that an installer on the updater's disk is exactly the one the
// signed release metadata describes.
#pragma once

#include <string_view>

#include "os/handle.h"
#include "release/release_metadata.h"

namespace ostrel {

// Compares the size the file system reports before opening the file, then
// the digest of its content. Fails with filesystem_error ("file_size") when
// the size cannot be obtained, or with "Installer size mismatch",
// "Installer cannot be read", "Installer changed while reading", "Installer
// read was incomplete" or "Installer SHA-512 mismatch". The file is opened
// without denying others reading or writing: a change while it is read shows
// up as one of these failures. A stop request of the service ends the
// verification between two reads with "Update check canceled".
void VerifyInstaller(std::u16string_view path, const ReleaseMetadata& release);

// The same check through a handle that lets others only read (share mode
// FILE_SHARE_READ), returned still open: while the caller holds it nobody
// can write, replace or delete the file, so the bytes verified are the bytes
// that run. The size is the open file's own. Fails with "Installer cannot
// be read" when the file cannot be opened that way (someone holds it open
// for writing or deleting) or its size cannot be read, and with the content
// failures above.
os::Handle OpenVerifiedInstaller(std::u16string_view path, const ReleaseMetadata& release);

}  // namespace ostrel
