#include "release/base64_decoding.h"

#include <string>

#include "foundation/failure.h"

namespace ostrel {
namespace {

constexpr std::size_t MaximumBase64Text = 512;
constexpr std::uint8_t NotInAlphabet = 0xFF;

std::uint8_t SextetOf(char symbol) {
  if (symbol >= 'A' && symbol <= 'Z') return static_cast<std::uint8_t>(symbol - 'A');
  if (symbol >= 'a' && symbol <= 'z') return static_cast<std::uint8_t>(symbol - 'a' + 26);
  if (symbol >= '0' && symbol <= '9') return static_cast<std::uint8_t>(symbol - '0' + 52);
  if (symbol == '+') return 62;
  if (symbol == '/') return 63;
  return NotInAlphabet;
}

bool IsTolerableWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The text without its tolerated white space.
std::string Symbols(std::string_view text) {
  std::string symbols;
  for (char c : text) {
    if (!IsTolerableWhiteSpace(c)) symbols += c;
  }
  return symbols;
}

}  // namespace

std::vector<std::uint8_t> DecodeBase64Exact(std::string_view text, std::size_t expectedSize) {
  Require(text.size() <= MaximumBase64Text, "Invalid Base64 size");
  std::string symbols = Symbols(text);
  Require(!symbols.empty() && symbols.size() % 4 == 0, "Invalid Base64 value");
  std::size_t padding = symbols.ends_with("==") ? 2 : (symbols.ends_with('=') ? 1 : 0);
  Require(symbols.size() / 4 * 3 - padding == expectedSize, "Invalid Base64 value");

  std::vector<std::uint8_t> bytes(expectedSize, 0);
  std::size_t written = 0;
  std::uint32_t bits = 0;
  int bitCount = 0;
  for (std::size_t i = 0; i < symbols.size() - padding; ++i) {
    std::uint8_t sextet = SextetOf(symbols[i]);
    Require(sextet != NotInAlphabet, "Invalid Base64 value");
    bits = (bits << 6) | sextet;
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      bytes[written++] = static_cast<std::uint8_t>(bits >> bitCount);
      bits &= (1u << bitCount) - 1;
    }
  }
  // Before padding, the last symbol may carry bits beyond the last byte;
  // canonical text leaves them zero.
  Require(bits == 0, "Invalid Base64 value");
  return bytes;
}

}  // namespace ostrel
