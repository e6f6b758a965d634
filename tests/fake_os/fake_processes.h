// The processes of the fake machine: those running, as the snapshot lists
// them, those that have ended, and those the caller started.
#pragma once

#include <cstdint>
#include <functional>
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
  // OpenProcess and QueryFullProcessImageName fail with these, when set.
  os::Failure openFailure = std::nullopt;
  os::Failure queryFailure = std::nullopt;
  // It ends, with exitCode, once the machine has waited until endsAt; it
  // never ends without one.
  std::optional<std::uint64_t> endsAt = std::nullopt;
  std::uint32_t exitCode = 0;
};

// How a program runs once started: it exits with exitCode after runsFor
// milliseconds, and never without them.
struct FakeProgram {
  std::optional<std::uint64_t> runsFor = 0;
  std::uint32_t exitCode = 0;
};

struct FakeLaunch {
  std::u16string applicationName;
  std::u16string commandLine;
  bool inheritHandles = false;
  std::uint32_t creationFlags = 0;
  // The block given, or none for the caller's own environment.
  std::optional<std::u16string> environment;
  std::u16string currentDirectory;
  os::StartupInfo startupInfo;
  // Whether, at the moment the process started, an open of its image for
  // writing, or for deleting, would have met a sharing violation: someone
  // held the file against changes while it started.
  bool imageHeldAgainstWriters = false;
  bool imageHeldAgainstDeleters = false;
};

// A handle to a process, or to its one thread, with the access it grants.
struct FakeProcessHandle {
  std::uint32_t processId = 0;
  std::uint32_t access = 0;
  bool thread = false;
};

struct FakeProcesses {
  // The snapshot lists these in order; a booted machine always runs the
  // idle process, which is no process to open, and the system process,
  // whose image cannot be asked for.
  std::vector<FakeProcess> running = {{0, u"[System Process]", u""},
                                      {4, u"System", u"", std::nullopt, os::ErrorGenFailure}};
  // Ended processes, moved here from running: their handles still answer.
  std::vector<FakeProcess> ended;
  // The machine's time passes only while a wait on a process lasts: the
  // milliseconds waited since boot.
  std::uint64_t waited = 0;

  os::Failure snapshotFailure;
  os::Failure firstEntryFailure;
  // Process32Next fails with this instead of reading the entry at this index.
  std::optional<std::size_t> nextEntryFailsAt;
  os::Failure nextEntryFailure;
  std::size_t snapshotPosition = 0;
  // Processes opened: every id asked for, and the open handles.
  std::vector<std::uint32_t> opened;
  std::map<std::uintptr_t, FakeProcessHandle> openHandles;

  // How each image runs, by the application name it is started with; an
  // image not named here ends at once with exit code 0. Only an image file
  // that exists starts.
  std::map<std::u16string, FakeProgram> programs;
  std::vector<FakeLaunch> launches;
  // Runs as each process has started, with its launch: what another
  // process sees while it runs.
  std::function<void(const FakeLaunch&)> whenStarted;
  // CreateProcess fails with this, when set, once the launch is recorded.
  os::Failure createProcessFailure;
  // Started processes get ids from here on, multiples of 4 as on Windows.
  std::uint32_t nextProcessId = 7000;
  // The timeout of every wait on a process, in order; each fails with
  // waitFailure, when set.
  std::vector<std::uint32_t> waitTimeouts;
  os::Failure waitFailure;
  // GetExitCodeProcess fails with this, when set.
  os::Failure exitCodeFailure;

  // The kinds of handle closed, in order ("process", "thread", "snapshot").
  std::vector<std::string> closed;
};

}  // namespace ostrel::fake
