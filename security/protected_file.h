// Writing the updater's small files where only trusted principals can reach.
#pragma once

#include <string_view>

namespace ostrel {

// Replaces the file's content with the bytes, written through to disk. The
// parent directory must pass ValidateObjectAcl; the name is opened without
// following a link, and refused when it is one; the whole buffer (smaller
// than 4 GiB) goes in one write, then the file is flushed. Others may read
// the file while it is written, but not write or delete it. A failure may
// leave the file truncated or partly written: callers that need all or
// nothing write a temporary and move it over the target.
void WriteProtectedFile(std::u16string_view path, std::string_view bytes);

}  // namespace ostrel
