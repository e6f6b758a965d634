// The processes of the fake machine: those running, as the snapshot lists
// them, and those the caller started.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "os/error_code.h"
#include "os/process.h"

namespace ostrel::fake {

struct FakeProcess {
  std::uint32_t id = 0;
  std::u16string exeFile;
  std::u16string imagePath;
  bool openable = true;   // false: OpenProcess is denied (5)
  bool queryable = true;  // false: QueryFullProcessImageName fails (31)
};

struct FakeLaunch {
  std::u16string applicationName;
  std::u16string commandLine;
  bool inheritHandles = false;
  std::uint32_t creationFlags = 0;
  std::u16string currentDirectory;
  os::StartupInfo startupInfo;
};

struct FakeProcesses {
  // The snapshot lists these in order; a booted machine always runs the
  // idle and system processes, whose images cannot be asked for.
  std::vector<FakeProcess> running = {{0, u"[System Process]", u"", false}, {4, u"System", u"", true, false}};
  os::ErrorCode snapshotFailure = os::ErrorSuccess;
  os::ErrorCode firstEntryFailure = os::ErrorSuccess;
  // Process32Next fails with this instead of reading the entry at this index.
  std::optional<std::size_t> nextEntryFailsAt;
  os::ErrorCode nextEntryFailure = os::ErrorSuccess;
  std::size_t snapshotPosition = 0;
  // Processes opened: every id asked for, and the open handles' ids.
  std::vector<std::uint32_t> opened;
  std::map<std::uintptr_t, std::uint32_t> openHandles;

  // Launches, and how the launched process ends.
  os::ErrorCode createFailure = os::ErrorSuccess;
  std::vector<FakeLaunch> launches;
  std::uint32_t waitResult = os::WaitObject0;
  std::vector<std::uint32_t> waitTimeouts;
  os::ErrorCode exitCodeFailure = os::ErrorSuccess;
  std::uint32_t exitCode = 0;

  // The kinds of handle closed, in order ("process", "thread", "snapshot").
  std::vector<std::string> closed;
};

}  // namespace ostrel::fake
