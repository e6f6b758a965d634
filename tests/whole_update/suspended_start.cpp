// Starts a program with its first thread suspended and leaves it so: what a
// service killed inside its start of the apply worker leaves behind. Prints
// the process id and exits; the process stays until the machine stops.
//
//   suspended_start.exe <program> [argument...]
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::wstring commandLine;
  for (int index = 1; index < argc; ++index) {
    if (index > 1) commandLine += L' ';
    commandLine += L'"';
    commandLine += argv[index];
    commandLine += L'"';
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &started)) {
    std::fprintf(stderr, "CreateProcessW failed: %lu\n", ::GetLastError());
    return 1;
  }
  std::printf("%lu\n", started.dwProcessId);
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return 0;
}
