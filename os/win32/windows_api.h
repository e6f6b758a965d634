// The one place that includes the Windows headers, and the MinGW quirks that
// go with them. Only files under os/win32/ include this.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif

#include <windows.h>
#include <aclapi.h>
#include <bcrypt.h>
#include <sddl.h>
#include <tlhelp32.h>

// The os/ boundary names its operations after the Windows calls they stand
// for; these are macros choosing the A or W form, and would rename ours. The
// code here calls the W forms by their full names.
#undef ChangeServiceConfig
#undef ConvertStringSecurityDescriptorToSecurityDescriptor
#undef ConvertStringSidToSid
#undef CopyFile
#undef CreateDirectory
#undef CreateFile
#undef CreateJobObject
#undef CreateProcess
#undef CreateService
#undef DeleteFile
#undef FindFirstFileEx
#undef FindNextFile
#undef GetEnvironmentStrings
#undef GetFileAttributes
#undef GetModuleFileName
#undef GetNamedSecurityInfo
#undef MoveFileEx
#undef OpenSCManager
#undef OpenService
#undef Process32First
#undef Process32Next
#undef QueryFullProcessImageName
#undef QueryServiceConfig
#undef RegCreateKeyEx
#undef RegDeleteKeyEx
#undef RegDeleteTree
#undef RegGetValue
#undef RegOpenKeyEx
#undef RegSetValueEx
#undef RegisterServiceCtrlHandlerEx
#undef RemoveDirectory
#undef StartService
#undef StartServiceCtrlDispatcher

#include <cstdint>
#include <string>
#include <string_view>

#include "os/error_code.h"

// Portable code speaks char16_t; the Windows API speaks wchar_t. With
// mingw-w64 both are 16-bit UTF-16 code units, so the casts below are exact.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace ostrel::os::win32 {

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const char16_t* Portable(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

// A zero-terminated copy for calls that take LPCWSTR.
inline std::wstring WideString(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

// The outcome of a call that returns whether it succeeded and leaves its code
// in the thread's last error, read here, right after the call.
// A FILETIME's two halves as the one 64-bit count of 100-nanosecond units
// they are.
inline std::uint64_t FileTimeCount(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline Failure FailureUnless(BOOL succeeded) { return succeeded ? Failure() : Failure(::GetLastError()); }

// The outcome of a call that returns its status instead (LSTATUS, or a DWORD
// as the security functions return it).
inline Failure FailureOfStatus(DWORD status) { return status == ERROR_SUCCESS ? Failure() : Failure(status); }

}  // namespace ostrel::os::win32
