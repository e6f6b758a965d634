// The file system's existence test, as the updater asks it of files it reads
// only when they are there.
#pragma once

#include <string_view>

namespace ostrel {

// Whether an object is at the path, links not followed. A path that is not
// there, whose directory is not there, or that cannot name anything (system
// codes 2, 3, 53, 64, 123, 161, 267) does not exist; any other failure of the
// test raises filesystem_error "exists" naming the path.
bool PathExists(std::u16string_view path);

}  // namespace ostrel
