#include "release/base64_decoding.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace ostrel {
namespace {

// "" when the text decodes to the expected bytes, otherwise the failure.
std::string Outcome(std::string_view text, const std::vector<std::uint8_t>& expected) {
  try {
    if (DecodeBase64Exact(text, expected.size()) != expected) return "other bytes";
  } catch (const std::runtime_error& failure) {
    return failure.what();
  }
  return "";
}

const std::vector<std::uint8_t> Foobar{'f', 'o', 'o', 'b', 'a', 'r'};
const std::vector<std::uint8_t> Fooba{'f', 'o', 'o', 'b', 'a'};
const std::vector<std::uint8_t> Foob{'f', 'o', 'o', 'b'};

struct Base64Case {
  const char* name;
  std::string text;
  std::vector<std::uint8_t> expected;
  const char* outcome;
};

class DecodeBase64ExactTest : public testing::TestWithParam<Base64Case> {};

TEST_P(DecodeBase64ExactTest, DecodesOnlyTextOfTheExpectedSize) {
  EXPECT_EQ(Outcome(GetParam().text, GetParam().expected), GetParam().outcome);
}

constexpr const char* Decoded = "";
constexpr const char* Invalid = "Invalid Base64 value";

INSTANTIATE_TEST_SUITE_P(
    Texts, DecodeBase64ExactTest,
    testing::Values(
        Base64Case{"NoPadding", "Zm9vYmFy", Foobar, Decoded}, Base64Case{"OnePad", "Zm9vYmE=", Fooba, Decoded},
        Base64Case{"TwoPads", "Zm9vYg==", Foob, Decoded},
        Base64Case{"EveryAlphabetCharacter",
                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/",
                   {0x00, 0x10, 0x83, 0x10, 0x51, 0x87, 0x20, 0x92, 0x8b, 0x30, 0xd3, 0x8f, 0x41, 0x14, 0x93, 0x51,
                    0x55, 0x97, 0x61, 0x96, 0x9b, 0x71, 0xd7, 0x9f, 0x82, 0x18, 0xa3, 0x92, 0x59, 0xa7, 0xa2, 0x9a,
                    0xab, 0xb2, 0xdb, 0xaf, 0xc3, 0x1c, 0xb3, 0xd3, 0x5d, 0xb7, 0xe3, 0x9e, 0xbb, 0xf3, 0xdf, 0xbf},
                   Decoded},
        Base64Case{"TrailingLineBreak", "Zm9vYg==\r\n", Foob, Decoded},
        Base64Case{"WrappedLines", "Zm9v\nYmFy\n", Foobar, Decoded},
        Base64Case{"BlanksAndTabs", " Zm9v\tYmFy ", Foobar, Decoded},
        Base64Case{"OneByteTooFew", "Zm9vYmE=", Foobar, Invalid},
        Base64Case{"OneByteTooMany", "Zm9vYmFy", Fooba, Invalid},
        Base64Case{"Empty", "", Foob, Invalid}, Base64Case{"OnlyWhiteSpace", " \n", Foob, Invalid},
        Base64Case{"MissingPadding", "Zm9vYg", Foob, Invalid},
        Base64Case{"TooMuchPadding", "Zm9vY===", Foob, Invalid},
        Base64Case{"PaddingInside", "Zm9=vYmFy", Foobar, Invalid},
        Base64Case{"OnlyPadding", "====", {0}, Invalid},
        Base64Case{"UrlSafeAlphabet", "-_9vYmFy", Foobar, Invalid},
        Base64Case{"OtherCharacter", "Zm9v*mFy", Foobar, Invalid},
        Base64Case{"ZeroByte", std::string("Zm9vYmFy\0", 9), Foobar, Invalid},
        Base64Case{"VerticalTab", "Zm9v\vYmFy", Foobar, Invalid},
        Base64Case{"NonAscii", "Zm9v\xC3\xA9YmFy", Foobar, Invalid},
        // Zm9vYh== spells the same bytes as Zm9vYg== with a bit set after them.
        Base64Case{"BitsAfterTheLastByte", "Zm9vYh==", Foob, Invalid},
        Base64Case{"BitsAfterTheLastTwoBytes", "Zm9vYmF=", Fooba, Invalid}),
    [](const auto& info) { return info.param.name; });

TEST(DecodeBase64ExactTest, BoundsTheTextBeforeDecoding) {
  std::string text = "Zm9vYmFy" + std::string(504, '\n');
  EXPECT_EQ(Outcome(text, Foobar), Decoded);
  EXPECT_EQ(Outcome(text + '\n', Foobar), "Invalid Base64 size");
  EXPECT_EQ(Outcome(std::string(513, '*'), Foobar), "Invalid Base64 size");
}

}  // namespace
}  // namespace ostrel
