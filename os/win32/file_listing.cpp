#include "os/file_listing.h"

#include "os/win32/windows_api.h"

namespace ostrel::os {
namespace {

HANDLE Native(const FindHandle& find) { return reinterpret_cast<HANDLE>(find.value()); }

FindData Read(const WIN32_FIND_DATAW& found) { return {found.dwFileAttributes, win32::Portable(found.cFileName)}; }

}  // namespace

void FindClose(std::uintptr_t find) noexcept { ::FindClose(reinterpret_cast<HANDLE>(find)); }

Failure FindFirstFileEx(std::u16string_view pattern, FindHandle& find, FindData& data) {
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileExW(win32::WideString(pattern).c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return ::GetLastError();
  find = FindHandle(reinterpret_cast<std::uintptr_t>(search));
  data = Read(found);
  return std::nullopt;
}

Failure FindNextFile(const FindHandle& find, FindData& data) {
  WIN32_FIND_DATAW found{};
  if (!::FindNextFileW(Native(find), &found)) return ::GetLastError();
  data = Read(found);
  return std::nullopt;
}

}  // namespace ostrel::os
