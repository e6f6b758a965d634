#include "os/process.h"

#include <cwchar>

#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

HANDLE Native(const Handle& handle) { return reinterpret_cast<HANDLE>(handle.value()); }
Handle Owned(HANDLE handle) { return Handle(reinterpret_cast<std::uintptr_t>(handle)); }

Failure CreationTimeOf(HANDLE process, std::uint64_t& creationTime) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return ::GetLastError();
  creationTime = win32::FileTimeCount(created);
  return std::nullopt;
}

}  // namespace

Failure CreateProcess(std::u16string_view applicationName, std::u16string_view commandLine, bool inheritHandles,
                      std::uint32_t creationFlags, std::optional<std::u16string_view> environment,
                      std::u16string_view currentDirectory, const StartupInfo& startupInfo,
                      ProcessInformation& processInformation) {
  std::wstring application = win32::WideString(applicationName);
  // CreateProcessW may write into the command line, so it gets its own copy.
  std::wstring writableCommandLine = win32::WideString(commandLine);
  std::wstring directory = win32::WideString(currentDirectory);
  std::wstring environmentBlock = environment ? win32::WideString(*environment) : std::wstring();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = startupInfo.flags;
  startup.wShowWindow = startupInfo.showWindow;
  PROCESS_INFORMATION created{};
  if (!::CreateProcessW(application.c_str(), writableCommandLine.data(), nullptr, nullptr, inheritHandles,
                        creationFlags, environment ? environmentBlock.data() : nullptr, directory.c_str(), &startup, &created)) {
    return ::GetLastError();
  }
  processInformation.process = Owned(created.hProcess);
  processInformation.thread = Owned(created.hThread);
  processInformation.processId = created.dwProcessId;
  return std::nullopt;
}

Failure GetEnvironmentStrings(std::u16string& block) {
  wchar_t* strings = ::GetEnvironmentStringsW();
  if (strings == nullptr) return ::GetLastError();
  const wchar_t* end = strings;
  while (*end != L'\0') end += std::wcslen(end) + 1;
  block.assign(reinterpret_cast<const char16_t*>(strings), end + 1 - strings);
  ::FreeEnvironmentStringsW(strings);
  return std::nullopt;
}

Failure WaitForSingleObject(const Handle& process, std::uint32_t milliseconds, std::uint32_t& waitResult) {
  DWORD result = ::WaitForSingleObject(Native(process), milliseconds);
  if (result == WAIT_FAILED) return ::GetLastError();
  waitResult = result;
  return std::nullopt;
}

Failure GetExitCodeProcess(const Handle& process, std::uint32_t& exitCode) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(Native(process), &code)) return ::GetLastError();
  exitCode = code;
  return std::nullopt;
}

Failure OpenProcess(std::uint32_t desiredAccess, bool inheritHandle, std::uint32_t processId, Handle& process) {
  HANDLE opened = ::OpenProcess(desiredAccess, inheritHandle, processId);
  if (opened == nullptr) return ::GetLastError();
  process = Owned(opened);
  return std::nullopt;
}

Failure QueryFullProcessImageName(const Handle& process, std::uint32_t flags, std::u16string& imageName) {
  std::u16string buffer(32768, u'\0');
  DWORD length = static_cast<DWORD>(buffer.size());
  if (!::QueryFullProcessImageNameW(Native(process), flags, win32::Wide(buffer.data()), &length)) {
    return ::GetLastError();
  }
  buffer.resize(length);
  imageName = std::move(buffer);
  return std::nullopt;
}

Failure GetProcessTimes(const Handle& process, std::uint64_t& creationTime) {
  return CreationTimeOf(Native(process), creationTime);
}

Failure GetCurrentProcessTimes(std::uint64_t& creationTime) { return CreationTimeOf(::GetCurrentProcess(), creationTime); }

Failure ResumeThread(const Handle& thread) {
  if (::ResumeThread(Native(thread)) == static_cast<DWORD>(-1)) return ::GetLastError();
  return std::nullopt;
}

Failure TerminateProcess(const Handle& process, std::uint32_t exitCode) {
  return win32::FailureUnless(::TerminateProcess(Native(process), exitCode));
}

std::uint32_t GetCurrentProcessId() { return ::GetCurrentProcessId(); }

}  // namespace ostrel::os
