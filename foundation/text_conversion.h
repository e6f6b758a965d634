// The only crossing between the UTF-16 text of paths, registry values and
// JSON strings and the UTF-8 bytes of documents, versions and file names.
// Neither direction can fail: whatever cannot be converted becomes U+FFFD, so
// a malformed document fails later, where its syntax breaks, and never here.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// UTF-16 to UTF-8. An unpaired surrogate becomes the UTF-8 form of U+FFFD.
std::string ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16 over exactly the given bytes; a zero byte among them is a
// character like any other. Each maximal malformed or truncated sequence
// becomes one U+FFFD, so 0xC3 0x28 gives U+FFFD U+0028.
std::u16string ToUtf16(std::string_view bytes);

// The same for a zero-terminated string, which ends at its terminator.
std::u16string ToUtf16(const char* zeroTerminated);

}  // namespace ostrel
