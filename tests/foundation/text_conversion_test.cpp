#include "foundation/text_conversion.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {
namespace {

using namespace std::string_literals;

struct Utf8Case {
  const char* name;
  std::string bytes;
  std::u16string text;
};

class ToUtf16Test : public testing::TestWithParam<Utf8Case> {};

TEST_P(ToUtf16Test, ConvertsOrReplacesEachMalformedSequenceOnce) {
  EXPECT_EQ(ToUtf16(std::string_view(GetParam().bytes)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, ToUtf16Test,
    testing::Values(
        Utf8Case{"Empty", "", u""}, Utf8Case{"Ascii", "release.json", u"release.json"},
        Utf8Case{"TwoThreeAndFourBytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", u"\u00E9\u20AC\U0001F600"},
        Utf8Case{"LargestCodePoint", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        Utf8Case{"ZeroByteIsACharacter", "a\0b"s, u"a\0b"s},
        Utf8Case{"LeadFollowedByAscii", "\xC3\x28", u"\uFFFD("},
        Utf8Case{"LoneContinuationBytes", "\x80\xBF", u"\uFFFD\uFFFD"},
        Utf8Case{"TruncatedAtTheEnd", "ab\xE2\x82", u"ab\uFFFD"},
        Utf8Case{"TruncatedFourByteSequence", "\xF0\x9F\x98(", u"\uFFFD("},
        Utf8Case{"OverlongTwoBytes", "\xC0\xAF", u"\uFFFD\uFFFD"},
        Utf8Case{"OverlongThreeBytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        Utf8Case{"EncodedSurrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        Utf8Case{"AboveU10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        Utf8Case{"InvalidLeadBytes", "\xF5\xFF", u"\uFFFD\uFFFD"}),
    [](const auto& info) { return info.param.name; });

TEST(ToUtf16Test, ZeroTerminatedTextEndsAtTheTerminator) {
  EXPECT_EQ(ToUtf16("Invalid\0tail"), u"Invalid");
  EXPECT_EQ(ToUtf16(""), u"");
}

struct Utf16Case {
  const char* name;
  std::u16string text;
  std::string bytes;
};

class ToUtf8Test : public testing::TestWithParam<Utf16Case> {};

TEST_P(ToUtf8Test, ConvertsOrReplacesUnpairedSurrogates) { EXPECT_EQ(ToUtf8(GetParam().text), GetParam().bytes); }

INSTANTIATE_TEST_SUITE_P(
    Texts, ToUtf8Test,
    testing::Values(Utf16Case{"Empty", u"", ""},
                    Utf16Case{"AllLengths", u"a\u00E9\u20AC\U0001F600", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
                    Utf16Case{"ZeroUnit", u"a\0b"s, "a\0b"s},
                    Utf16Case{"LoneHighSurrogate", u"\xD800"s, "\xEF\xBF\xBD"},
                    Utf16Case{"LoneLowSurrogate", u"x\xDC00y"s, "x\xEF\xBF\xBDy"},
                    Utf16Case{"HighSurrogateBeforeAnotherHigh", u"\xD83D\xD83D\xDE00"s,
                              "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
                    Utf16Case{"ReversedPair", u"\xDE00\xD83D"s, "\xEF\xBF\xBD\xEF\xBF\xBD"}),
    [](const auto& info) { return info.param.name; });

TEST(TextConversionTest, EveryScalarValueRoundTrips) {
  std::u16string text;
  for (char32_t c = 0; c <= 0x10FFFF; c += (c < 0x800 ? 1 : 97)) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    if (c < 0x10000) {
      text += static_cast<char16_t>(c);
    } else {
      text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      text += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  EXPECT_EQ(ToUtf16(ToUtf8(text)), text);
}

}  // namespace
}  // namespace ostrel
