// Toolhelp snapshots of the processes in the system.
#pragma once

#include <cstdint>
#include <string>

#include "os/error_code.h"
#include "os/handle.h"

namespace ostrel::os {

inline constexpr std::uint32_t Th32csSnapProcess = 0x2;

// The members of PROCESSENTRY32W that are read.
struct ProcessEntry {
  std::uint32_t processId = 0;
  std::u16string exeFile;  // the image's bare file name
};

// CreateToolhelp32Snapshot(flags, processId).
[[nodiscard]] Failure CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId, Handle& snapshot);

// Process32FirstW and Process32NextW, the record's size member set before
// the call.
[[nodiscard]] Failure Process32First(const Handle& snapshot, ProcessEntry& entry);
[[nodiscard]] Failure Process32Next(const Handle& snapshot, ProcessEntry& entry);

}  // namespace ostrel::os
