// Processes: starting one, waiting for it, and asking about a running one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "os/error_code.h"
#include "os/handle.h"

namespace ostrel::os {

inline constexpr std::uint32_t WaitObject0 = 0;
inline constexpr std::uint32_t WaitTimeout = 258;
inline constexpr std::uint32_t WaitFailed = 0xFFFFFFFF;
inline constexpr std::uint32_t CreateNoWindow = 0x08000000;
// The process's first thread waits for ResumeThread before it runs anything.
inline constexpr std::uint32_t CreateSuspended = 0x00000004;
// The environment block given to CreateProcess holds UTF-16 strings.
inline constexpr std::uint32_t CreateUnicodeEnvironment = 0x00000400;
inline constexpr std::uint32_t StartfUseShowWindow = 0x1;
inline constexpr std::uint16_t SwHide = 0;
inline constexpr std::uint32_t ProcessQueryLimitedInformation = 0x1000;
inline constexpr std::uint32_t ProcessTerminate = 0x0001;
// The exit code GetExitCodeProcess reports while the process runs.
inline constexpr std::uint32_t StillActive = 259;

// The members of STARTUPINFOW that are set; every other member is zero and
// the size member is the record's size.
struct StartupInfo {
  std::uint32_t flags = 0;
  std::uint16_t showWindow = 0;
};

// PROCESS_INFORMATION, with the two handles owned.
struct ProcessInformation {
  Handle process;
  Handle thread;
  std::uint32_t processId = 0;
};

// CreateProcessW(applicationName, a writable copy of commandLine, no process
// or thread security attributes, inheritHandles, creationFlags, environment
// (an environment block as GetEnvironmentStrings gives it, or none for the
// caller's own), currentDirectory, startupInfo).
[[nodiscard]] Failure CreateProcess(std::u16string_view applicationName, std::u16string_view commandLine,
                                    bool inheritHandles, std::uint32_t creationFlags,
                                    std::optional<std::u16string_view> environment,
                                    std::u16string_view currentDirectory, const StartupInfo& startupInfo,
                                    ProcessInformation& processInformation);

// GetEnvironmentStringsW: the calling process's environment block, each
// "name=value" string followed by a zero unit and the block ended by one
// more, both terminators included.
[[nodiscard]] Failure GetEnvironmentStrings(std::u16string& block);

// WaitForSingleObject on a process: fails when the call returns WaitFailed;
// otherwise waitResult is WaitObject0 once the process has ended, or
// WaitTimeout when the time ran out.
[[nodiscard]] Failure WaitForSingleObject(const Handle& process, std::uint32_t milliseconds, std::uint32_t& waitResult);

// GetExitCodeProcess: the exit code, or StillActive while the process runs.
[[nodiscard]] Failure GetExitCodeProcess(const Handle& process, std::uint32_t& exitCode);

// OpenProcess(desiredAccess, inheritHandle, processId).
[[nodiscard]] Failure OpenProcess(std::uint32_t desiredAccess, bool inheritHandle, std::uint32_t processId,
                                  Handle& process);

// QueryFullProcessImageNameW into a buffer of 32,768 UTF-16 units.
[[nodiscard]] Failure QueryFullProcessImageName(const Handle& process, std::uint32_t flags, std::u16string& imageName);

// GetProcessTimes: the process's creation time, as a FILETIME.
[[nodiscard]] Failure GetProcessTimes(const Handle& process, std::uint64_t& creationTime);

// GetProcessTimes of GetCurrentProcess(): this process's creation time.
[[nodiscard]] Failure GetCurrentProcessTimes(std::uint64_t& creationTime);

// ResumeThread: fails when the call returns (DWORD)-1; the previous suspend
// count it reports otherwise is not kept.
[[nodiscard]] Failure ResumeThread(const Handle& thread);

// TerminateProcess: ends the process with the exit code.
[[nodiscard]] Failure TerminateProcess(const Handle& process, std::uint32_t exitCode);

// GetCurrentProcessId.
std::uint32_t GetCurrentProcessId();

}  // namespace ostrel::os
