// Decoding of the Base64 texts of the release metadata: the signature in
// release.sig and the installer's digest in release.json.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace ostrel {

// Decodes standard Base64 (RFC 4648 alphabet, "=" padding) that must yield
// exactly expectedSize bytes. Fails with "Invalid Base64 size" for a text
// longer than 512 bytes and with "Invalid Base64 value" for anything else
// that is not such a text.
//
// Beyond canonical padded text it tolerates exactly one thing: ASCII blanks,
// tabs, carriage returns and line feeds anywhere, so a text wrapped into
// lines or ending in a line break, as editors and command-line tools write
// it, still decodes. Missing or misplaced padding, the URL-safe alphabet,
// any other character and set bits after the last encoded byte are refused,
// so every accepted text carries its bytes in exactly one spelling.
std::vector<std::uint8_t> DecodeBase64Exact(std::string_view text, std::size_t expectedSize);

}  // namespace ostrel
