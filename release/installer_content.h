// The installer check itself: the size and the SHA-512 of the bytes a
// reader delivers, in one pass with one 64 KiB buffer, so memory does not
// grow with the file. Whoever opens the file supplies the reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "release/release_metadata.h"

namespace ostrel {

// Fails with "Installer size mismatch" unless size is the described one.
void RequireInstallerSize(std::uint64_t size, const ReleaseMetadata& release);

// Reads the installer's next bytes into the buffer: how many were read, 0
// once it has ended, nothing when the read failed.
using InstallerReader = std::function<std::optional<std::size_t>(std::span<char> buffer)>;

// Succeeds only when the reader ends after exactly release.size bytes whose
// digest is release.sha512; fails with "Installer changed while reading"
// as soon as more arrive, "Installer read was incomplete" when fewer do or a
// read fails, and "Installer SHA-512 mismatch".
void VerifyInstallerContent(const InstallerReader& read, const ReleaseMetadata& release);

}  // namespace ostrel
