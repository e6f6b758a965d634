// Whole-file reads of the updater's small files (release.json, release.sig,
// status.json), bounded before anything is allocated.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

// The content of the file: exactly the size the file system reports when the
// call begins, which must be 1 to limit bytes; bytes added later are not
// read. Fails with filesystem_error ("file_size") when the size cannot be
// obtained, "Invalid metadata size" when it is 0 or above the limit, and
// "Metadata read failed" when the file cannot be opened or read that far
// (another process holding it open without sharing reading, a file that has
// become shorter). The file is held only while it is read, and shared for
// reading, writing and deleting, so a writer that replaces it is kept
// waiting as little as the system allows.
std::string ReadBoundedFile(std::u16string_view path, std::uint64_t limit);

}  // namespace ostrel
