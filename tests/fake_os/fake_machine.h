// An in-memory Windows machine behind the os/ boundary, for native tests.
// A test arranges the machine, runs portable code against it and expects on
// what the machine recorded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fake_os/fake_file_system.h"
#include "fake_os/fake_handles.h"
#include "fake_os/fake_http.h"
#include "fake_os/fake_identity.h"
#include "fake_os/fake_processes.h"
#include "fake_os/fake_registry.h"
#include "fake_os/fake_service_control.h"
#include "fake_os/fake_service_manager.h"
#include "os/error_code.h"
#include "os/known_folder.h"

namespace ostrel::fake {

// A service's environment on a usual installation, as a block: its TEMP and
// TMP the machine's shared temporary directory.
std::u16string UsualServiceEnvironment();

struct FakeMachine {
  // COM start-up.
  os::HResult coInitializeResult = os::SOk;
  std::vector<std::uint32_t> coInitializeCalls;

  // Standard streams. A read takes the front of standardInput, at most
  // standardInputChunk bytes (what one write of the other end delivered);
  // once it is empty a read fails with endOfStandardInput, as Windows fails
  // it at the end of a pipe (Wine reads 0 bytes instead). standardOutput holds what was written; writes fail with
  // standardOutputResult when set (the stream closed) and write at most
  // standardOutputLimit bytes.
  std::string standardInput;
  std::size_t standardInputChunk = SIZE_MAX;
  os::ErrorCode endOfStandardInput = os::ErrorBrokenPipe;
  std::vector<std::uint32_t> standardInputReads;  // the bytes each read asked for
  std::string standardOutput;
  std::vector<std::size_t> standardOutputWrites;  // the bytes each write was given
  os::Failure standardOutputResult;
  std::optional<std::uint32_t> standardOutputLimit;
  std::string standardError;

  // The service control manager, as the service process meets it.
  FakeServiceControl serviceControl;
  // The services it keeps, and the handles its clients hold.
  FakeServiceManager services;

  // Known folders, as on a usual installation.
  std::u16string programFilesFolder = u"C:\\Program Files";
  std::u16string programDataFolder = u"C:\\ProgramData";
  os::HResult knownFolderResult = os::SOk;
  std::vector<os::KnownFolderId> knownFolderQueries;

  // Every Sleep, in milliseconds; each advances the clock and runs
  // whileSleeping, if set.
  std::vector<std::uint32_t> sleeps;
  std::function<void()> whileSleeping;

  // Drives, directories and files.
  FakeFileSystem fileSystem;

  // Running processes, and the ones the caller starts.
  FakeProcesses processes;

  // WinHTTP and the update server behind it.
  FakeHttp http;

  // The system's random source: each byte drawn is nextRandomByte, which
  // then counts on, so no two draws are alike; a draw fails with
  // randomFailure (an NTSTATUS), when set.
  std::uint8_t nextRandomByte = 0x5A;
  os::Failure randomFailure;

  // The machine's clock, in milliseconds since boot. It moves on only
  // through PassTime.
  std::uint64_t tickCount = 5'000'000;
  // The part of tickCount the machine spent asleep (SleepMachine), which its
  // unbiased interrupt time leaves out.
  std::uint64_t asleepMilliseconds = 0;
  // The UTC time at boot, as a FILETIME: the system time is this plus the
  // tick count.
  std::uint64_t bootFileTime = 134'000'000'000'000'000;

  // The service's stop request: absent until the service host creates it.
  // Waits on it take no real time: each advances the clock by its timeout
  // and runs whileWaitingForStop, which may set the event.
  std::optional<bool> stopEvent;
  std::vector<std::uint32_t> stopWaits;
  std::function<void()> whileWaitingForStop;

  // The running process's environment block, as GetEnvironmentStrings gives it.
  std::u16string environmentStrings = UsualServiceEnvironment();

  // The running process and its executable.
  std::uint32_t processId = 4242;
  // Its creation time, as a FILETIME: before the tick count a machine starts with.
  std::uint64_t processCreationTime = bootFileTime + 4'000'000ULL * 10'000;
  std::u16string moduleFileName = u"C:\\Program Files\\Ostrel\\Updater\\OstrelUpdate.exe";
  os::Failure moduleFileNameResult;

  // Kernel handles handed out and not yet closed.
  FakeHandles handles;

  // The process's token: its user and groups.
  FakeIdentity identity;

  // HKEY_LOCAL_MACHINE in both views.
  FakeRegistry registry;
};

// The machine the os/ functions act on in this process.
FakeMachine& Machine();

// Lets the milliseconds pass on the machine's clock, as every wait, sleep
// and reading of the clock does, ending each process whose end comes due.
void PassTime(std::uint64_t milliseconds);

// The machine sleeps for the milliseconds: the tick count moves on, its
// awake time does not, and processes whose end came due end as it wakes.
void SleepMachine(std::uint64_t milliseconds);

// The machine's system time now, as a FILETIME.
std::uint64_t SystemFileTime();

// Replaces the machine with a new one, as at boot.
void ResetMachine();

}  // namespace ostrel::fake
