// Files opened by handle: creating or opening one, reading what it is, and
// writing it to disk.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "os/access_rights.h"
#include "os/error_code.h"
#include "os/file_system.h"
#include "os/handle.h"

namespace ostrel::os {

inline constexpr std::uint32_t FileShareRead = 0x1;
inline constexpr std::uint32_t FileShareWrite = 0x2;
inline constexpr std::uint32_t FileShareDelete = 0x4;

inline constexpr std::uint32_t CreateAlways = 2;
inline constexpr std::uint32_t OpenExisting = 3;
inline constexpr std::uint32_t OpenAlways = 4;

inline constexpr std::uint32_t FileFlagWriteThrough = 0x80000000;
inline constexpr std::uint32_t FileFlagOpenReparsePoint = 0x00200000;
// Needed to open a directory at all.
inline constexpr std::uint32_t FileFlagBackupSemantics = 0x02000000;

// What GetFileInformationByHandle reports that the updater reads.
struct FileInformation {
  std::uint32_t attributes = 0;
  // How many names the file has: more than one when it is hard linked.
  std::uint32_t numberOfLinks = 0;
};

// CreateFileW(path, desiredAccess, shareMode, no security attributes,
// creationDisposition, flagsAndAttributes, no template).
[[nodiscard]] Failure CreateFile(std::u16string_view path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                                 std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes, Handle& file);

// GetFileInformationByHandle: what the open handle refers to, which for an
// open made with FileFlagOpenReparsePoint is the link itself.
[[nodiscard]] Failure GetFileInformationByHandle(const Handle& file, FileInformation& information);

// GetFileSizeEx: the size of the file the handle refers to.
[[nodiscard]] Failure GetFileSizeEx(const Handle& file, std::uint64_t& size);

// ReadFile into the buffer, synchronously, from the handle's position;
// bytesRead is 0 at the end of the file and may be fewer than asked for.
[[nodiscard]] Failure ReadFile(const Handle& file, std::span<char> buffer, std::uint32_t& bytesRead);

// WriteFile of the bytes, synchronously; bytesWritten may be fewer.
[[nodiscard]] Failure WriteFile(const Handle& file, std::span<const char> bytes, std::uint32_t& bytesWritten);

// SetFileInformationByHandle with FileRenameInfo: gives the object the
// handle refers to (opened with DELETE) the new full path, on the same
// volume. Without replaceIfExists an existing name fails with
// ErrorAlreadyExists.
[[nodiscard]] Failure SetFileRenameInformation(const Handle& file, std::u16string_view newPath, bool replaceIfExists);

// SetFilePointerEx to the position, counted from the start of the file
// (FILE_BEGIN).
[[nodiscard]] Failure SetFilePointerEx(const Handle& file, std::uint64_t position);

// SetEndOfFile: the file ends where the handle stands, which a fresh open
// leaves at the start, so there it empties the file. The handle needs write
// access (ErrorAccessDenied otherwise).
[[nodiscard]] Failure SetEndOfFile(const Handle& file);

// FlushFileBuffers.
[[nodiscard]] Failure FlushFileBuffers(const Handle& file);

}  // namespace ostrel::os
