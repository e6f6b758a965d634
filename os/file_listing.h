// Listing the names in a directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "os/error_code.h"
#include "os/owned_value.h"

namespace ostrel::os {

// What WIN32_FIND_DATAW holds that the updater reads: the entry's own
// attributes (a link reports itself, FileAttributeReparsePoint among them,
// never its target) and its name within the directory.
struct FindData {
  std::uint32_t attributes = 0;
  std::u16string fileName;
};

// FindClose. A failure is dropped: nothing can be done about it.
void FindClose(std::uintptr_t find) noexcept;

// The owner of a search that FindFirstFileExW began.
using FindHandle = OwnedValue<FindClose>;

// FindFirstFileExW(pattern, FindExInfoBasic, FindExSearchNameMatch, no
// filter, no flags): begins a search of the names that match the pattern
// ("<directory>\*" for every name, "." and ".." of a directory that is not
// a drive root among them) and reads the first. A directory that is not
// there fails with ErrorPathNotFound.
[[nodiscard]] Failure FindFirstFileEx(std::u16string_view pattern, FindHandle& find, FindData& data);

// FindNextFileW: the next name of the search, in no order the caller may
// rely on; ErrorNoMoreFiles (error_code.h) after the last.
[[nodiscard]] Failure FindNextFile(const FindHandle& find, FindData& data);

}  // namespace ostrel::os
