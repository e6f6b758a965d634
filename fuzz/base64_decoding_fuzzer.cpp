// Decodes arbitrary text as a 64-byte Base64 value: whatever is accepted
// must be the canonical spelling of its bytes once the tolerated white space
// is taken out.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "release/base64_decoding.h"
#include "tools/ostrel-release/release_signing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::uint8_t> bytes;
  try {
    bytes = ostrel::DecodeBase64Exact(text, 64);
  } catch (const std::runtime_error&) {
    return 0;
  }
  std::string symbols;
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') symbols += c;
  }
  if (bytes.size() != 64 || ostrel::EncodeBase64(bytes) != symbols) __builtin_trap();
  return 0;
}
