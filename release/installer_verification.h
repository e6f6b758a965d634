// Proof that an installer on disk is exactly the one the signed release
// metadata describes: same size, same SHA-512, read in one pass with one
// 64 KiB buffer, so memory does not grow with the file.
#pragma once

#include <istream>
#include <string_view>

#include "release/release_metadata.h"

namespace ostrel {

// Compares the size the file system reports before opening the file, then
// the digest of its content. Fails with filesystem_error ("file_size") when
// the size cannot be obtained, or with "Installer size mismatch",
// "Installer cannot be read", "Installer changed while reading", "Installer
// read was incomplete" or "Installer SHA-512 mismatch". The file is opened
// without denying others access: a change while it is read shows up as one
// of these failures.
void VerifyInstaller(std::u16string_view path, const ReleaseMetadata& release);

// The reading half of VerifyInstaller over a stream already open: succeeds
// only when the stream ends after exactly release.size bytes whose digest is
// release.sha512.
void VerifyInstallerContent(std::istream& input, const ReleaseMetadata& release);

}  // namespace ostrel
