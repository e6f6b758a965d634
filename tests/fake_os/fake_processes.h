// The processes of the fake machine: those running, as the snapshot lists
// them, those that have ended, those the caller started, and the jobs that
// hold them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "os/error_code.h"
#include "os/process.h"

namespace ostrel::fake {

// A process a program starts as soon as it runs: its image, and how long it
// runs (for ever without a time). It exits with 0.
struct FakeChildProcess {
  std::u16string imagePath;
  std::optional<std::uint64_t> runsFor;
};

// How a program runs once started: it exits with exitCode after runsFor
// milliseconds, and never without them; its children start as it runs.
struct FakeProgram {
  std::optional<std::uint64_t> runsFor = 0;
  std::uint32_t exitCode = 0;
  std::vector<FakeChildProcess> children = {};
};

struct FakeProcess {
  std::uint32_t id = 0;
  std::u16string exeFile;
  std::u16string imagePath;
  // OpenProcess and QueryFullProcessImageName fail with these, when set.
  os::Failure openFailure = std::nullopt;
  os::Failure queryFailure = std::nullopt;
  // It ends, with exitCode, once the machine's clock reaches endsAt; it
  // never ends by itself without one.
  std::optional<std::uint64_t> endsAt = std::nullopt;
  std::uint32_t exitCode = 0;
  // The job it belongs to, 0 for none; a process never leaves its job.
  std::uint32_t job = 0;
  // Set while it was created suspended and has not been resumed: the
  // program it runs once resumed. Until then it runs nothing, starts
  // nothing and never ends by itself.
  std::optional<FakeProgram> suspended = std::nullopt;
  // When it was created, as a FILETIME; 0 for a process as old as the machine.
  std::uint64_t createdAt = 0;
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

struct FakeJob {
  std::uint32_t limitFlags = 0;
};

struct FakeProcesses {
  // The snapshot lists these in order; a booted machine always runs the
  // idle process, which is no process to open, and the system process,
  // whose image cannot be asked for.
  std::vector<FakeProcess> running = {{0, u"[System Process]", u""},
                                      {4, u"System", u"", std::nullopt, os::ErrorGenFailure}};
  // Ended processes, moved here from running: their handles still answer.
  std::vector<FakeProcess> ended;

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

  // Job objects by id, and the handles open to each.
  std::map<std::uint32_t, FakeJob> jobs;
  std::map<std::uintptr_t, std::uint32_t> jobHandles;
  std::uint32_t nextJobId = 1;
  // CreateJobObject, AssignProcessToJobObject and TerminateJobObject fail
  // with these, when set.
  os::Failure createJobFailure;
  os::Failure assignFailure;
  os::Failure terminateJobFailure;

  // The kinds of handle closed, in order ("process", "thread", "snapshot").
  std::vector<std::string> closed;

  // A new running process of the image, in the job (0 for none), created
  // now, that runs nothing yet; its id.
  std::uint32_t Add(std::u16string_view imagePath, std::uint32_t job);
  // The running process with this id, or nullptr.
  FakeProcess* FindRunning(std::uint32_t processId);
  // Lets the running process run the program from the moment now: it ends
  // after the program's run time, and the program's children start at once,
  // in its job.
  void Run(std::uint32_t processId, const FakeProgram& program, std::uint64_t now);
  // Ends the running process with the exit code.
  void End(std::uint32_t processId, std::uint32_t exitCode);
  // Ends every process whose end is due by the moment now.
  void EndDue(std::uint64_t now);
  // The ids of the job's processes that have not ended.
  std::vector<std::uint32_t> ActiveIn(std::uint32_t job) const;
};

}  // namespace ostrel::fake
