#include "os/file_system.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {

Failure GetFileAttributes(std::u16string_view path, std::uint32_t& attributes) {
  DWORD result = ::GetFileAttributesW(win32::WideString(path).c_str());
  if (result == INVALID_FILE_ATTRIBUTES) return ::GetLastError();
  attributes = result;
  return std::nullopt;
}

Failure CreateDirectory(std::u16string_view path, const SecurityDescriptor& descriptor) {
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), reinterpret_cast<void*>(descriptor.value()), FALSE};
  if (!::CreateDirectoryW(win32::WideString(path).c_str(), &attributes)) return ::GetLastError();
  return std::nullopt;
}

Failure MoveFileEx(std::u16string_view existingPath, std::u16string_view newPath, std::uint32_t flags) {
  if (!::MoveFileExW(win32::WideString(existingPath).c_str(), win32::WideString(newPath).c_str(), flags)) {
    return ::GetLastError();
  }
  return std::nullopt;
}

Failure CopyFile(std::u16string_view existingPath, std::u16string_view newPath, bool failIfExists) {
  if (!::CopyFileW(win32::WideString(existingPath).c_str(), win32::WideString(newPath).c_str(), failIfExists)) {
    return ::GetLastError();
  }
  return std::nullopt;
}

Failure RemoveDirectory(std::u16string_view path) {
  return win32::FailureUnless(::RemoveDirectoryW(win32::WideString(path).c_str()));
}

Failure DeleteFile(std::u16string_view path) {
  if (!::DeleteFileW(win32::WideString(path).c_str())) return ::GetLastError();
  return std::nullopt;
}

}  // namespace ostrel::os
