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

// GetFileAttributesW. A link at the last component reports its own
// attributes, not its target's. A bare drive designator (C:) names the
// current directory of that drive.
[[nodiscard]] ErrorCode GetFileAttributes(std::u16string_view path, std::uint32_t& attributes);

// CreateDirectoryW with security attributes that carry the descriptor and
// are not inherited by child processes. Only the last component is created.
[[nodiscard]] ErrorCode CreateDirectory(std::u16string_view path, const SecurityDescriptor& descriptor);

}  // namespace ostrel::os
