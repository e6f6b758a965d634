#include "foundation/text_conversion.h"

#include <cstdint>

namespace ostrel {
namespace {

constexpr char32_t ReplacementCharacter = U'\uFFFD';

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t codePoint) {
  if (codePoint < 0x10000) {
    out += static_cast<char16_t>(codePoint);
    return;
  }
  codePoint -= 0x10000;
  out += static_cast<char16_t>(0xD800 | (codePoint >> 10));
  out += static_cast<char16_t>(0xDC00 | (codePoint & 0x3FF));
}

// What a UTF-8 lead byte promises: the length of its sequence and the range
// its first continuation byte must fall in. The narrowed ranges after E0, ED,
// F0 and F4 exclude overlong forms, surrogates and values above U+10FFFF.
struct LeadByte {
  int length;  // 0 when the byte cannot start a sequence
  std::uint8_t secondLow;
  std::uint8_t secondHigh;
};

LeadByte ClassifyLeadByte(std::uint8_t byte) {
  if (byte >= 0xC2 && byte <= 0xDF) return {2, 0x80, 0xBF};
  if (byte == 0xE0) return {3, 0xA0, 0xBF};
  if (byte == 0xED) return {3, 0x80, 0x9F};
  if (byte >= 0xE1 && byte <= 0xEF) return {3, 0x80, 0xBF};
  if (byte == 0xF0) return {4, 0x90, 0xBF};
  if (byte >= 0xF1 && byte <= 0xF3) return {4, 0x80, 0xBF};
  if (byte == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      char32_t codePoint = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00);
      AppendUtf8(out, codePoint);
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(out, ReplacementCharacter);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::u16string ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    auto lead = static_cast<std::uint8_t>(bytes[i]);
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    LeadByte expected = ClassifyLeadByte(lead);
    if (expected.length == 0) {
      out += static_cast<char16_t>(ReplacementCharacter);
      ++i;
      continue;
    }
    // Take continuation bytes while they fit; the bytes taken before the
    // first misfit are one malformed sequence and become one U+FFFD.
    char32_t codePoint = lead & (0x7F >> expected.length);
    std::uint8_t low = expected.secondLow;
    std::uint8_t high = expected.secondHigh;
    int taken = 1;
    while (taken < expected.length && i + taken < bytes.size()) {
      auto next = static_cast<std::uint8_t>(bytes[i + taken]);
      if (next < low || next > high) break;
      codePoint = (codePoint << 6) | (next & 0x3F);
      low = 0x80;
      high = 0xBF;
      ++taken;
    }
    AppendUtf16(out, taken == expected.length ? codePoint : ReplacementCharacter);
    i += taken;
  }
  return out;
}

std::u16string ToUtf16(const char* zeroTerminated) { return ToUtf16(std::string_view(zeroTerminated)); }

}  // namespace ostrel
