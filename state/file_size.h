// The size of a file named by its path, as the standard library's file_size
// reports it: a link at the name is followed, and a failure names the
// operation, the path and the system's code.
#pragma once

#include <cstdint>
#include <string_view>

namespace ostrel {

// Fails with filesystem_error "file_size" when the file cannot be opened to
// read its attributes (missing, a directory, access denied).
std::uint64_t FileSize(std::u16string_view path);

}  // namespace ostrel
