// Access rights, as the masks of access entries grant them and as opens of
// files ask for them.
#pragma once

#include <cstdint>

namespace ostrel::os {

inline constexpr std::uint32_t FileReadData = 0x1;
inline constexpr std::uint32_t FileWriteData = 0x2;
inline constexpr std::uint32_t FileAppendData = 0x4;
inline constexpr std::uint32_t FileReadEa = 0x8;
inline constexpr std::uint32_t FileWriteEa = 0x10;
inline constexpr std::uint32_t FileExecute = 0x20;
inline constexpr std::uint32_t FileDeleteChild = 0x40;
inline constexpr std::uint32_t FileReadAttributes = 0x80;
inline constexpr std::uint32_t FileWriteAttributes = 0x100;
inline constexpr std::uint32_t Delete = 0x10000;
inline constexpr std::uint32_t ReadControl = 0x20000;
inline constexpr std::uint32_t WriteDac = 0x40000;
inline constexpr std::uint32_t WriteOwner = 0x80000;
inline constexpr std::uint32_t Synchronize = 0x100000;
inline constexpr std::uint32_t FileAllAccess = 0x1F01FF;
inline constexpr std::uint32_t AccessSystemSecurity = 0x1000000;
inline constexpr std::uint32_t MaximumAllowed = 0x2000000;
inline constexpr std::uint32_t GenericAll = 0x10000000;
inline constexpr std::uint32_t GenericExecute = 0x20000000;
inline constexpr std::uint32_t GenericWrite = 0x40000000;
inline constexpr std::uint32_t GenericRead = 0x80000000;

}  // namespace ostrel::os
