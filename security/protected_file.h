// Writing the updater's small files where only trusted principals can reach.
#pragma once

#include <cstdint>
#include <string_view>

#include "os/handle.h"

namespace ostrel {

// Opens the file for writing, keeping its bytes, with the handle at its
// start; shareMode and flags (attributes, write-through) are those of the
// open. The parent directory must pass ValidateObjectAcl. The name is opened,
// or created when missing, without following a link at it, and nothing of
// what it names changes before the handle shows a plain file with no other
// name. Someone who has the file open briefly is waited for
// (RetryWhileInUse). Fails with openFailure and the system error code when
// the file cannot be opened or created; with "Inspect updater file" and the
// code when the handle cannot be read; and with "Updater file reparse point
// rejected" (a link), "Updater file is a directory" or "Updater file has
// other names" (a hard link).
os::Handle OpenProtectedFile(std::u16string_view path, std::uint32_t shareMode, std::uint32_t flags,
                             const char* openFailure);

// OpenProtectedFile, then empties the file, for a writer that then writes it
// whole; a file that cannot be emptied fails with createFailure and the code.
os::Handle CreateProtectedFile(std::u16string_view path, std::uint32_t shareMode, std::uint32_t flags,
                               const char* createFailure);

// Replaces the file's content with the bytes, written through to disk, in a
// file CreateProtectedFile opened ("Create updater file"): others may read
// the file while it is written, but not write or delete it. The whole buffer
// (smaller than 4 GiB) goes in one write, then the file is flushed. A failure
// may leave the file empty or partly written: callers that need all or
// nothing write a temporary and move it over the target.
void WriteProtectedFile(std::u16string_view path, std::string_view bytes);

// Replaces the file at path with the bytes, whole or not at all: written
// through WriteProtectedFile at temporaryPath (in the same directory), then
// moved over path with write-through. A reader holding the file for a
// moment is waited for (RetryWhileInUse). Fails with the failures of
// WriteProtectedFile, or with commitFailure and the code of the move; a
// failure leaves the previous file whole.
void ReplaceProtectedFile(std::u16string_view path, std::u16string_view temporaryPath, std::string_view bytes,
                          const char* commitFailure);

}  // namespace ostrel
