#include "os/file.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

HANDLE Native(const Handle& handle) { return reinterpret_cast<HANDLE>(handle.value()); }

}  // namespace

Failure CreateFile(std::u16string_view path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                   std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes, Handle& file) {
  std::wstring name = win32::WideString(path);
  HANDLE created =
      ::CreateFileW(name.c_str(), desiredAccess, shareMode, nullptr, creationDisposition, flagsAndAttributes, nullptr);
  if (created == INVALID_HANDLE_VALUE) return ::GetLastError();
  file = Handle(reinterpret_cast<std::uintptr_t>(created));
  return std::nullopt;
}

Failure GetFileInformationByHandle(const Handle& file, FileInformation& information) {
  BY_HANDLE_FILE_INFORMATION native{};
  if (!::GetFileInformationByHandle(Native(file), &native)) return ::GetLastError();
  information.attributes = native.dwFileAttributes;
  information.numberOfLinks = native.nNumberOfLinks;
  return std::nullopt;
}

Failure GetFileSizeEx(const Handle& file, std::uint64_t& size) {
  LARGE_INTEGER native{};
  if (!::GetFileSizeEx(Native(file), &native)) return ::GetLastError();
  size = static_cast<std::uint64_t>(native.QuadPart);
  return std::nullopt;
}

Failure ReadFile(const Handle& file, std::span<char> buffer, std::uint32_t& bytesRead) {
  DWORD read = 0;
  if (!::ReadFile(Native(file), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
    return ::GetLastError();
  }
  bytesRead = read;
  return std::nullopt;
}

Failure WriteFile(const Handle& file, std::span<const char> bytes, std::uint32_t& bytesWritten) {
  DWORD written = 0;
  if (!::WriteFile(Native(file), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    return ::GetLastError();
  }
  bytesWritten = written;
  return std::nullopt;
}

Failure SetFileRenameInformation(const Handle& file, std::u16string_view newPath, bool replaceIfExists) {
  // FILE_RENAME_INFO ends in the name, its length given in bytes and without
  // a terminating zero.
  std::size_t nameBytes = newPath.size() * sizeof(wchar_t);
  std::vector<std::byte> buffer(offsetof(FILE_RENAME_INFO, FileName) + nameBytes + sizeof(wchar_t));
  auto* information = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  information->ReplaceIfExists = replaceIfExists;
  information->RootDirectory = nullptr;
  information->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(information->FileName, newPath.data(), nameBytes);
  return win32::FailureUnless(
      ::SetFileInformationByHandle(Native(file), FileRenameInfo, information, static_cast<DWORD>(buffer.size())));
}

Failure SetFilePointerEx(const Handle& file, std::uint64_t position) {
  LARGE_INTEGER distance{};
  distance.QuadPart = static_cast<LONGLONG>(position);
  return win32::FailureUnless(::SetFilePointerEx(Native(file), distance, nullptr, FILE_BEGIN));
}

Failure SetEndOfFile(const Handle& file) { return win32::FailureUnless(::SetEndOfFile(Native(file))); }

Failure FlushFileBuffers(const Handle& file) { return win32::FailureUnless(::FlushFileBuffers(Native(file))); }

}  // namespace ostrel::os
