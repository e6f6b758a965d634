// The child process of the process tests under Wine: it does what its first
// argument says and exits.
//   exit N                 exits with N
//   sleep MS               sleeps MS milliseconds, then exits with 0
//   record FILE            writes its own path as it was called, its
//                          arguments after FILE, one a line, and its working
//                          directory to FILE (UTF-16LE)
//   probe-handle VALUE     exits with 1 when VALUE is a handle it holds, else 0
#include <windows.h>

#include <cwchar>
#include <cstdlib>
#include <string>

int wmain(int argumentCount, wchar_t** arguments) {
  if (argumentCount < 3) return 100;
  std::wstring command = arguments[1];
  if (command == L"exit") return std::wcstol(arguments[2], nullptr, 10);
  if (command == L"sleep") {
    ::Sleep(std::wcstoul(arguments[2], nullptr, 10));
    return 0;
  }
  if (command == L"probe-handle") {
    auto handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoull(arguments[2], nullptr, 10)));
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) ? 1 : 0;
  }
  if (command == L"record") {
    std::wstring text = std::wstring(arguments[0]) + L"\n";
    for (int index = 3; index < argumentCount; ++index) text += std::wstring(arguments[index]) + L"\n";
    wchar_t directory[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, directory);
    text += directory;
    HANDLE file = ::CreateFileW(arguments[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 101;
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(file);
    return 0;
  }
  return 100;
}
