// The child process of the process tests under Wine: it does what its first
// argument says and exits.
//   exit N                 exits with N
//   sleep MS               sleeps MS milliseconds, then exits with 0
//   spawn MS               starts a copy of itself that sleeps MS
//                          milliseconds, hidden, and exits at once with the
//                          copy's process id
//   record FILE            writes its own path as it was called, its
//                          arguments after FILE, one a line, and its working
//                          directory to FILE (UTF-16LE)
//   record-environment FILE  writes its environment block to FILE (UTF-16LE,
//                          each string zero-terminated), then exits with 0
//   probe-handle VALUE     exits with 1 when VALUE is a handle it holds, else 0
//   service NAME           runs as the service NAME, started by the service
//                          control manager, until it is told to stop
#include <windows.h>

#include <cwchar>
#include <cstdlib>
#include <string>

namespace {

SERVICE_STATUS_HANDLE serviceStatus = nullptr;
HANDLE stopRequested = nullptr;

void ReportServiceState(DWORD state) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  ::SetServiceStatus(serviceStatus, &status);
}

DWORD WINAPI HandleServiceControl(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) ::SetEvent(stopRequested);
  return NO_ERROR;
}

void WINAPI RunService(DWORD, LPWSTR* arguments) {
  serviceStatus = ::RegisterServiceCtrlHandlerExW(arguments[0], HandleServiceControl, nullptr);
  ReportServiceState(SERVICE_RUNNING);
  ::WaitForSingleObject(stopRequested, INFINITE);
  ReportServiceState(SERVICE_STOPPED);
}

}  // namespace

int wmain(int argumentCount, wchar_t** arguments) {
  if (argumentCount < 3) return 100;
  std::wstring command = arguments[1];
  if (command == L"exit") return std::wcstol(arguments[2], nullptr, 10);
  if (command == L"sleep") {
    ::Sleep(std::wcstoul(arguments[2], nullptr, 10));
    return 0;
  }
  if (command == L"spawn") {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = std::wstring(L"\"") + self + L"\" sleep " + arguments[2];
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION copy{};
    if (!::CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &copy)) {
      return 101;
    }
    ::CloseHandle(copy.hThread);
    ::CloseHandle(copy.hProcess);
    return static_cast<int>(copy.dwProcessId);
  }
  if (command == L"probe-handle") {
    auto handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoull(arguments[2], nullptr, 10)));
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) ? 1 : 0;
  }
  if (command == L"service") {
    stopRequested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYW table[] = {{arguments[2], RunService}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 0 : 102;
  }
  if (command == L"record-environment") {
    wchar_t* strings = ::GetEnvironmentStringsW();
    const wchar_t* end = strings;
    while (*end != L'\0') end += std::wcslen(end) + 1;
    HANDLE file = ::CreateFileW(arguments[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 101;
    DWORD written = 0;
    ::WriteFile(file, strings, static_cast<DWORD>((end - strings) * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(file);
    ::FreeEnvironmentStringsW(strings);
    return 0;
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
