// Files and directories by name.
#pragma once

#include <cstdint>
#include <string_view>

#include "os/error_code.h"
#include "os/security_descriptor.h"

namespace ostrel::os {

inline constexpr std::uint32_t FileAttributeDirectory = 0x10;
inline constexpr std::uint32_t FileAttributeNormal = 0x80;
inline constexpr std::uint32_t FileAttributeReparsePoint = 0x400;

inline constexpr std::uint32_t MovefileReplaceExisting = 0x1;
inline constexpr std::uint32_t MovefileWriteThrough = 0x8;

// GetFileAttributesW. A link at the last component reports its own
// attributes, not its target's. A bare drive designator (C:) names the
// current directory of that drive.
[[nodiscard]] Failure GetFileAttributes(std::u16string_view path, std::uint32_t& attributes);

// CreateDirectoryW with security attributes that carry the descriptor and
// are not inherited by child processes. Only the last component is created.
[[nodiscard]] Failure CreateDirectory(std::u16string_view path, const SecurityDescriptor& descriptor);

// MoveFileExW: renames a file. With MovefileReplaceExisting an existing file
// of the new name is replaced in the same step (a directory is not: 5);
// without it the move fails with ErrorAlreadyExists. With MovefileWriteThrough
// the call returns only once the move has reached the disk.
[[nodiscard]] Failure MoveFileEx(std::u16string_view existingPath, std::u16string_view newPath, std::uint32_t flags);

// CopyFileW: copies the file's content and attributes to newPath, a link at
// existingPath followed. A new file takes the security its directory passes
// on; an existing one is overwritten in place and keeps its own, unless
// failIfExists, which then fails with ErrorFileExists.
[[nodiscard]] Failure CopyFile(std::u16string_view existingPath, std::u16string_view newPath, bool failIfExists);

// RemoveDirectoryW: removes an empty directory, or a directory junction
// itself whatever its target holds. A directory with names in it fails with
// ErrorDirNotEmpty, a file with ErrorDirectory.
[[nodiscard]] Failure RemoveDirectory(std::u16string_view path);

// DeleteFileW: removes the name of a file, or of a link itself, never its
// target. A file that another open does not share for deleting is not
// deleted (ErrorSharingViolation); a directory is refused (ErrorAccessDenied).
[[nodiscard]] Failure DeleteFile(std::u16string_view path);

}  // namespace ostrel::os
