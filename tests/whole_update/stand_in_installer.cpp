// The installer of the whole-update tests. The publisher appends the
// version it stands for to the end of this program's file ("\n" Mark
// version "\n"), so one program stands in for every release. Run by the
// apply worker, it records its arguments and that version in
// "C:\Program Files\Ostrel\Application\installer-record.txt", one line each,
// where the tests read them, and exits 0.
#include <windows.h>

#include <string>
#include <string_view>

namespace {

constexpr std::string_view Mark = "stand-in-installer-version=";
constexpr wchar_t RecordPath[] = L"C:\\Program Files\\Ostrel\\Application\\installer-record.txt";

// The version written after the mark at the end of the file, or "" when the
// file carries none.
std::string AppendedVersion() {
  wchar_t image[MAX_PATH];
  if (::GetModuleFileNameW(nullptr, image, MAX_PATH) == 0) return "";
  HANDLE file = ::CreateFileW(image, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  char tail[128] = {};
  LARGE_INTEGER back{};
  back.QuadPart = -static_cast<LONGLONG>(sizeof tail);
  DWORD read = 0;
  bool ok = ::SetFilePointerEx(file, back, nullptr, FILE_END) && ::ReadFile(file, tail, sizeof tail, &read, nullptr);
  ::CloseHandle(file);
  if (!ok) return "";
  std::string_view text(tail, read);
  std::size_t start = text.rfind(Mark);
  if (start == std::string_view::npos) return "";
  text.remove_prefix(start + Mark.size());
  return std::string(text.substr(0, text.find('\n')));
}

std::string Utf8(const wchar_t* text) {
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size > 0 ? size - 1 : 0, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::string record;
  for (int index = 1; index < argc; ++index) record += "argument=" + Utf8(argv[index]) + "\n";
  record += "version=" + AppendedVersion() + "\n";
  HANDLE file = ::CreateFileW(RecordPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  bool ok = ::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok && written == record.size() ? 0 : 3;
}
