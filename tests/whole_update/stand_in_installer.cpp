// The installer of the whole-update tests. The publisher appends the
// version it stands for to the end of this program's file ("\n" Mark
// version "\n"), so one program stands in for every release. Run by the
// apply worker, it appends its arguments, that version and the SHA-512 of
// its own file (hexadecimal) to
// "C:\Program Files\Ostrel\Application\installer-record.txt", one line each,
// where the tests read them, and exits 0. Each run appends its own lines, so
// a test sees every run and what exactly ran.
//
// While "installer-hold" exists beside the record, it waits (at most a
// minute) before it records: a test can act while an installer runs.
// While "installer-fails" exists there, it records and then exits with
// 1603, as an installation that failed.
//
// When RelaunchMark is appended too (on a line of its own before the
// version's), it stands for an installer that relaunches itself: it starts
// a copy of itself from its temporary directory with RelaunchedArgument
// added and exits at once; the copy pauses, adds the version that the
// updater has recorded by then ("installed=" from the registry) to its
// record, and records.
#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view Mark = "stand-in-installer-version=";
constexpr wchar_t RecordPath[] = L"C:\\Program Files\\Ostrel\\Application\\installer-record.txt";
constexpr wchar_t HoldPath[] = L"C:\\Program Files\\Ostrel\\Application\\installer-hold";
constexpr wchar_t FailPath[] = L"C:\\Program Files\\Ostrel\\Application\\installer-fails";
constexpr DWORD FailedInstallationCode = 1603;
constexpr int HoldPolls = 1200;
constexpr DWORD HoldPollMilliseconds = 50;
constexpr std::string_view RelaunchMark = "stand-in-installer-relaunches\n";
constexpr wchar_t RelaunchedArgument[] = L"/RELAUNCHED";
// Long enough for an updater that waited only for the first process to
// record the version before the copy looks.
constexpr DWORD RelaunchedPauseMilliseconds = 5000;

// This program's own file, open for reading; INVALID_HANDLE_VALUE when it
// cannot be opened.
HANDLE OpenOwnFile() {
  wchar_t image[MAX_PATH];
  if (::GetModuleFileNameW(nullptr, image, MAX_PATH) == 0) return INVALID_HANDLE_VALUE;
  return ::CreateFileW(image, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The last bytes of the file, where the publisher appends, or "".
std::string AppendedTail() {
  HANDLE file = OpenOwnFile();
  if (file == INVALID_HANDLE_VALUE) return "";
  char tail[128] = {};
  LARGE_INTEGER back{};
  back.QuadPart = -static_cast<LONGLONG>(sizeof tail);
  DWORD read = 0;
  bool ok = ::SetFilePointerEx(file, back, nullptr, FILE_END) && ::ReadFile(file, tail, sizeof tail, &read, nullptr);
  ::CloseHandle(file);
  return ok ? std::string(tail, read) : "";
}

// The version written after the mark at the end of the file, or "" when the
// file carries none.
std::string AppendedVersion() {
  const std::string appended = AppendedTail();
  std::string_view text = appended;
  std::size_t start = text.rfind(Mark);
  if (start == std::string_view::npos) return "";
  text.remove_prefix(start + Mark.size());
  return std::string(text.substr(0, text.find('\n')));
}

// The SHA-512 of this program's file in hexadecimal, or "" when it cannot
// be read.
std::string OwnDigest() {
  HANDLE file = OpenOwnFile();
  if (file == INVALID_HANDLE_VALUE) return "";
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  unsigned char digest[64] = {};
  bool ok = BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA512_ALGORITHM, nullptr, 0)) &&
            BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  std::vector<unsigned char> buffer(1 << 16);
  DWORD read = 0;
  while (ok && (ok = ::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) && read > 0) {
    ok = BCRYPT_SUCCESS(::BCryptHashData(hash, buffer.data(), read, 0));
  }
  ok = ok && BCRYPT_SUCCESS(::BCryptFinishHash(hash, digest, sizeof digest, 0));
  if (hash != nullptr) ::BCryptDestroyHash(hash);
  if (algorithm != nullptr) ::BCryptCloseAlgorithmProvider(algorithm, 0);
  ::CloseHandle(file);
  if (!ok) return "";
  std::string hex;
  char pair[3];
  for (unsigned char byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

void AwaitHoldReleased() {
  for (int polls = 0; polls < HoldPolls && ::GetFileAttributesW(HoldPath) != INVALID_FILE_ATTRIBUTES; ++polls) {
    ::Sleep(HoldPollMilliseconds);
  }
}

std::string Utf8(const wchar_t* text) {
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size > 0 ? size - 1 : 0, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

// Starts a copy of this program, made in the temporary directory, with the
// same arguments and RelaunchedArgument; whether it started.
bool Relaunch(int argc, wchar_t** argv) {
  wchar_t image[MAX_PATH];
  wchar_t copy[MAX_PATH];
  if (::GetModuleFileNameW(nullptr, image, MAX_PATH) == 0 || ::GetTempPathW(MAX_PATH, copy) == 0) return false;
  std::wcscat(copy, L"stand-in-installer-copy.exe");
  if (!::CopyFileW(image, copy, FALSE)) return false;
  std::wstring commandLine = std::wstring(L"\"") + copy + L"\"";
  for (int index = 1; index < argc; ++index) commandLine += std::wstring(L" ") + argv[index];
  commandLine += std::wstring(L" ") + RelaunchedArgument;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(copy, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &started)) {
    return false;
  }
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return true;
}

// The "Version" the updater has recorded, or "" when there is none.
std::string InstalledVersion() {
  wchar_t version[64] = {};
  DWORD size = sizeof version;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Ostrel\\NativeUpdater", L"Version", RRF_RT_REG_SZ, nullptr,
                     version, &size) != ERROR_SUCCESS) {
    return "";
  }
  return Utf8(version);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool relaunched = argc > 1 && std::wstring_view(argv[argc - 1]) == RelaunchedArgument;
  if (!relaunched && AppendedTail().find(RelaunchMark) != std::string::npos) return Relaunch(argc, argv) ? 0 : 4;
  AwaitHoldReleased();
  std::string record;
  for (int index = 1; index < argc; ++index) record += "argument=" + Utf8(argv[index]) + "\n";
  record += "version=" + AppendedVersion() + "\n";
  record += "sha512=" + OwnDigest() + "\n";
  if (relaunched) {
    ::Sleep(RelaunchedPauseMilliseconds);
    record += "installed=" + InstalledVersion() + "\n";
  }
  HANDLE file = ::CreateFileW(RecordPath, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  bool ok = ::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  ::CloseHandle(file);
  if (!ok || written != record.size()) return 3;
  return ::GetFileAttributesW(FailPath) != INVALID_FILE_ATTRIBUTES ? FailedInstallationCode : 0;
}
