#include "release/ed25519_public_key.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "build_configuration.h"
#include "release/release_signature.h"
#include "tools/ostrel-release/release_signing.h"

namespace ostrel {
namespace {

// A key from the hex text of its 32 bytes, first byte first.
Ed25519PublicKey Key(std::string_view hex) {
  Ed25519PublicKey key;
  for (std::size_t i = 0; i < key.size(); ++i) {
    key[i] = static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(i * 2, 2)), nullptr, 16));
  }
  return key;
}

const std::string Zeros(62, '0');
const std::string Ones(62, 'f');

struct KeyCase {
  const char* name;
  std::string hex;
  bool strong;
};

class Ed25519PublicKeyTest : public testing::TestWithParam<KeyCase> {};

TEST_P(Ed25519PublicKeyTest, RefusesEveryKeyOfSmallOrderOrOffTheCurve) {
  EXPECT_EQ(IsStrongEd25519PublicKey(Key(GetParam().hex)), GetParam().strong);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, Ed25519PublicKeyTest,
    testing::Values(
        KeyCase{"BasePoint", "58" + std::string(62, '6'), true},
        KeyCase{"NegatedBasePoint", "58" + std::string(60, '6') + "e6", true},
        // The eight points of small order, canonically encoded.
        KeyCase{"IdentityOrder1", "01" + Zeros, false},
        KeyCase{"Order2", "ec" + Ones.substr(2) + "7f", false},
        KeyCase{"Order4", "00" + Zeros, false},
        KeyCase{"Order4Negative", "00" + Zeros.substr(2) + "80", false},
        KeyCase{"Order8A", "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05", false},
        KeyCase{"Order8ANegative", "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc85", false},
        KeyCase{"Order8B", "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a", false},
        KeyCase{"Order8BNegative", "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac03fa", false},
        // Their non-canonical variants: x = 0 with a sign, y written as y + p.
        KeyCase{"IdentityWithSign", "01" + Zeros.substr(2) + "80", false},
        KeyCase{"Order2WithSign", "ec" + Ones, false},
        KeyCase{"Order4AsP", "ed" + Ones.substr(2) + "7f", false},
        KeyCase{"Order4AsPWithSign", "ed" + Ones, false},
        KeyCase{"IdentityAsPPlusOne", "ee" + Ones.substr(2) + "7f", false},
        KeyCase{"IdentityAsPPlusOneWithSign", "ee" + Ones, false},
        // y not below p, whatever point it would reduce to; y off the curve.
        KeyCase{"LargestY", "ff" + Ones.substr(2) + "7f", false},
        KeyCase{"OffTheCurve", "02" + Zeros, false}),
    [](const testing::TestParamInfo<KeyCase>& info) { return info.param.name; });

TEST(Ed25519PublicKeyTest, AcceptsGeneratedKeysAndTheBuildsKey) {
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(IsStrongEd25519PublicKey(GenerateReleaseKey().publicKey));
  EXPECT_TRUE(IsStrongEd25519PublicKey(ReleasePublicKey));
}

TEST(Ed25519PublicKeyTest, TheForgedSignatureOfTheIdentityKeyVerifiesNothing) {
  // R = the identity, s = 0: with the identity as key, the verification
  // equation holds for every message.
  Ed25519Signature forged{};
  forged[0] = 0x01;
  for (std::string_view message : {"", "{\"version\":\"99.0.0\"}"}) {
    EXPECT_FALSE(VerifyReleaseSignature(message, forged, Key("01" + Zeros)));
  }
}

}  // namespace
}  // namespace ostrel
