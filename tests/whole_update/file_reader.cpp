// Another process of the machine holding the updater's files, for the
// contention tests: a user or a scanner reading them, or a user keeping a
// process of one of its programs suspended.
//
//   file_reader.exe read <path>   opens the file for reading (sharing reading
//                                 and writing), reads it and closes it, back
//                                 to back without a pause, until its standard
//                                 input ends; then prints "<reads> <failed>"
//   file_reader.exe hold <path>   opens the file for reading, sharing only
//                                 reading, prints "held" and keeps it open
//                                 until its standard input ends
//   file_reader.exe suspend <path>  starts the program suspended, prints
//                                 "held" and keeps it so until its standard
//                                 input ends; then prints "ended <exit code>"
//                                 when another ended it, or "running", and
//                                 ends it
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>

namespace {

std::atomic<bool> inputEnded{false};

// Returns once the test closes the pipe, or dies.
void AwaitEndOfInput() {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  char buffer[256];
  DWORD read = 0;
  while (::ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
  }
}

DWORD WINAPI WatchInput(void*) {
  AwaitEndOfInput();
  inputEnded = true;
  return 0;
}

bool ReadOnce(const wchar_t* path) {
  HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[4096];
  DWORD read = 0;
  const bool ok = ::ReadFile(file, buffer, sizeof buffer, &read, nullptr);
  ::CloseHandle(file);
  return ok;
}

int ReadBackToBack(const wchar_t* path) {
  HANDLE watcher = ::CreateThread(nullptr, 0, WatchInput, nullptr, 0, nullptr);
  if (watcher == nullptr) return 1;
  unsigned long reads = 0;
  unsigned long failed = 0;
  while (!inputEnded) {
    ++reads;
    if (!ReadOnce(path)) ++failed;
  }
  std::printf("%lu %lu\n", reads, failed);
  return 0;
}

int Hold(const wchar_t* path) {
  HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::printf("held\n");
  std::fflush(stdout);
  AwaitEndOfInput();
  ::CloseHandle(file);
  return 0;
}

int Suspend(wchar_t* path) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(path, nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &started)) {
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  AwaitEndOfInput();
  DWORD exitCode = STILL_ACTIVE;
  ::GetExitCodeProcess(started.hProcess, &exitCode);
  if (exitCode == STILL_ACTIVE) {
    std::printf("running\n");
    ::TerminateProcess(started.hProcess, 0);
  } else {
    std::printf("ended %lu\n", exitCode);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  if (std::wcscmp(argv[1], L"read") == 0) return ReadBackToBack(argv[2]);
  if (std::wcscmp(argv[1], L"hold") == 0) return Hold(argv[2]);
  if (std::wcscmp(argv[1], L"suspend") == 0) return Suspend(argv[2]);
  return 2;
}
