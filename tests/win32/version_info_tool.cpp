// Reads a program's version resource as Explorer and inventory tools do,
// through version.dll, for the version resource test under Wine:
//
//   version_info_tool.exe <path>
//
// prints "<name>=<value>" lines in UTF-8: FixedFileVersion and
// FixedProductVersion (a.b.c.d) from the resource's binary part, its first
// Translation (language and code page in hex), then each string of that
// translation. Exits 1 with the step that failed.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* StringNames[] = {L"CompanyName",    L"FileDescription", L"FileVersion",
                                          L"InternalName",   L"LegalCopyright",  L"OriginalFilename",
                                          L"ProductName",    L"ProductVersion"};

int Fail(const char* step) {
  std::printf("%s failed: %lu\n", step, ::GetLastError());
  return 1;
}

std::string ToUtf8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
  bytes.resize(size - 1);
  return bytes;
}

void PrintVersion(const char* name, DWORD high, DWORD low) {
  std::printf("%s=%u.%u.%u.%u\n", name, HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::printf("usage: version_info_tool.exe <path>\n");
    return 1;
  }
  const DWORD size = ::GetFileVersionInfoSizeW(argv[1], nullptr);
  if (size == 0) {
    return Fail("GetFileVersionInfoSizeW");
  }
  std::vector<unsigned char> block(size);
  if (!::GetFileVersionInfoW(argv[1], 0, size, block.data())) {
    return Fail("GetFileVersionInfoW");
  }

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed->dwSignature != VS_FFI_SIGNATURE) {
    return Fail("VerQueryValueW of the fixed file information");
  }
  PrintVersion("FixedFileVersion", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  PrintVersion("FixedProductVersion", fixed->dwProductVersionMS, fixed->dwProductVersionLS);

  // The translation names the string table: language, then code page.
  WORD* translation = nullptr;
  if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &length) ||
      length < 2 * sizeof(WORD)) {
    return Fail("VerQueryValueW of the translation");
  }
  std::printf("Translation=%04x%04x\n", translation[0], translation[1]);
  for (const wchar_t* name : StringNames) {
    wchar_t path[64];
    std::swprintf(path, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], name);
    wchar_t* value = nullptr;
    if (::VerQueryValueW(block.data(), path, reinterpret_cast<void**>(&value), &length) && length > 0) {
      std::printf("%s=%s\n", ToUtf8(name).c_str(), ToUtf8(value).c_str());
    }
  }
  return 0;
}
