#include "os/process_snapshot.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

using ProcessWalk = BOOL(WINAPI*)(HANDLE, LPPROCESSENTRY32W);

Failure ReadEntry(ProcessWalk walk, const Handle& snapshot, ProcessEntry& entry) {
  PROCESSENTRY32W record{};
  record.dwSize = sizeof record;
  if (!walk(reinterpret_cast<HANDLE>(snapshot.value()), &record)) return ::GetLastError();
  entry.processId = record.th32ProcessID;
  entry.exeFile = win32::Portable(record.szExeFile);
  return std::nullopt;
}

}  // namespace

Failure CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId, Handle& snapshot) {
  HANDLE created = ::CreateToolhelp32Snapshot(flags, processId);
  if (created == INVALID_HANDLE_VALUE) return ::GetLastError();
  snapshot = Handle(reinterpret_cast<std::uintptr_t>(created));
  return std::nullopt;
}

Failure Process32First(const Handle& snapshot, ProcessEntry& entry) {
  return ReadEntry(::Process32FirstW, snapshot, entry);
}

Failure Process32Next(const Handle& snapshot, ProcessEntry& entry) {
  return ReadEntry(::Process32NextW, snapshot, entry);
}

}  // namespace ostrel::os
