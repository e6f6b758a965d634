#include "release/release_metadata.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "build_configuration.h"
#include "foundation/failure.h"
#include "release_test_key.h"
#include "tools/ostrel-release/release_signing.h"

namespace ostrel {
namespace {

constexpr const char* Accepted = "";
constexpr const char* JsonFailure = "hresult_error";

// "" when the verification succeeds, the message of a standard failure, or
// JsonFailure for a failure of the JSON layer.
std::string Outcome(std::string_view metadata, std::string_view signature) {
  try {
    VerifyReleaseMetadata(metadata, signature);
  } catch (const std::exception& failure) {
    return failure.what();
  } catch (const hresult_error&) {
    return JsonFailure;
  }
  return Accepted;
}

std::string SignWithTestKey(std::string_view metadata) {
  return SignReleaseMetadata(test::ReleaseTestKeyPem, metadata);
}

std::string SignedOutcome(std::string_view metadata) { return Outcome(metadata, SignWithTestKey(metadata)); }

// The digest of the installer the documents describe: 64 bytes 0, 1, ... 63.
Sha512Digest SampleDigest() {
  Sha512Digest digest;
  for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = static_cast<std::uint8_t>(i);
  return digest;
}

const std::string SampleDigestText = EncodeBase64(SampleDigest());

// A valid release.json in which one member has the given raw JSON value, or
// is left out when the value is empty.
std::string Document(std::string_view member, std::string_view value) {
  std::pair<std::string_view, std::string> members[] = {
      {"version", R"("1.2.3")"},
      {"file", R"("Ostrel-Setup-1.2.3.exe")"},
      {"size", "1000"},
      {"sha512", '"' + SampleDigestText + '"'},
      {"runtime", R"("chromium-native")"}};
  std::string document = "{";
  for (auto& [name, json] : members) {
    if (name == member) json = value;
    if (json.empty()) continue;
    if (document.size() > 1) document += ',';
    document += '"' + std::string(name) + "\":" + json;
  }
  return document + "}";
}

const std::string ValidDocument = Document("", "");

TEST(VerifyReleaseMetadataTest, ReturnsTheVerifiedMembers) {
  ReleaseMetadata release = VerifyReleaseMetadata(ValidDocument, SignWithTestKey(ValidDocument));
  EXPECT_EQ(release.version, "1.2.3");
  EXPECT_EQ(release.file, "Ostrel-Setup-1.2.3.exe");
  EXPECT_EQ(release.size, 1000u);
  EXPECT_EQ(release.sha512, SampleDigest());
  EXPECT_TRUE(release.runtimeMatches);
}

TEST(VerifyReleaseMetadataTest, IgnoresOtherMembersAndTheirOrder) {
  std::string document = R"({"notes":{"x":[1,null]},"runtime":"chromium-native","sha512":")" + SampleDigestText +
                         R"(","size":1e3,"file":"Ostrel-Setup-1.2.3.exe","version":"1.2.3-beta.1"})";
  ReleaseMetadata release = VerifyReleaseMetadata(document, SignWithTestKey(document));
  EXPECT_EQ(release.version, "1.2.3-beta.1");
  EXPECT_EQ(release.size, 1000u);
}

TEST(VerifyReleaseMetadataTest, TheBuildTrustsThePublicHalfOfTheTestKey) {
  EXPECT_EQ(PublicKeyOf(test::ReleaseTestKeyPem), ReleasePublicKey);
}

TEST(VerifyReleaseMetadataTest, BoundsBothInputsBeforeAnythingElse) {
  std::string largest = ValidDocument + std::string(65536 - ValidDocument.size(), ' ');
  EXPECT_EQ(SignedOutcome(largest), Accepted);
  EXPECT_EQ(SignedOutcome(largest + ' '), "Invalid release metadata");
  EXPECT_EQ(Outcome("", SignWithTestKey("")), "Invalid release metadata");
  EXPECT_EQ(Outcome(ValidDocument, ""), "Invalid release metadata");
  std::string signature = SignWithTestKey(ValidDocument);
  EXPECT_EQ(Outcome(ValidDocument, signature + std::string(512 - signature.size(), '\n')), Accepted);
  EXPECT_EQ(Outcome(ValidDocument, signature + std::string(513 - signature.size(), '\n')), "Invalid release metadata");
}

TEST(VerifyReleaseMetadataTest, RefusesSignatureTextsThatAreNotSixtyFourBytes) {
  std::vector<std::uint8_t> bytes(65, 1);
  EXPECT_EQ(Outcome(ValidDocument, EncodeBase64(std::span(bytes).first(63))), "Invalid Base64 value");
  EXPECT_EQ(Outcome(ValidDocument, EncodeBase64(bytes)), "Invalid Base64 value");
  std::string signature = SignWithTestKey(ValidDocument);
  signature[10] = '*';
  EXPECT_EQ(Outcome(ValidDocument, signature), "Invalid Base64 value");
}

TEST(VerifyReleaseMetadataTest, AnyChangedByteBreaksTheSignature) {
  std::string signature = SignWithTestKey(ValidDocument);
  for (std::size_t i = 0; i < ValidDocument.size(); ++i) {
    std::string changed = ValidDocument;
    changed[i] = static_cast<char>(changed[i] ^ 0x01);
    EXPECT_EQ(Outcome(changed, signature), "Release signature mismatch") << "byte " << i;
  }
  EXPECT_EQ(Outcome(ValidDocument + "\n", signature), "Release signature mismatch");
  std::string reordered = R"({"file":"Ostrel-Setup-1.2.3.exe","version":"1.2.3")" + ValidDocument.substr(ValidDocument.find(R"(,"size")"));
  ASSERT_EQ(reordered.size(), ValidDocument.size());
  EXPECT_EQ(Outcome(reordered, signature), "Release signature mismatch");
}

TEST(VerifyReleaseMetadataTest, ASignatureOfAnotherKeyDoesNotVerify) {
  std::string signature = SignReleaseMetadata(GenerateReleaseKey().privateKeyPem, ValidDocument);
  EXPECT_EQ(Outcome(ValidDocument, signature), "Release signature mismatch");
}

TEST(VerifyReleaseMetadataTest, VerifiesWithTheKeyTheCallerGives) {
  ReleaseKeyPair publisher = GenerateReleaseKey();
  std::string signature = SignReleaseMetadata(publisher.privateKeyPem, ValidDocument);
  EXPECT_EQ(VerifyReleaseMetadata(ValidDocument, signature, publisher.publicKey).version, "1.2.3");
  EXPECT_THROW(VerifyReleaseMetadata(ValidDocument, SignWithTestKey(ValidDocument), publisher.publicKey),
               std::runtime_error);
}

struct DocumentCase {
  const char* name;
  std::string document;
  std::string outcome;
};

class SignedDocumentTest : public testing::TestWithParam<DocumentCase> {};

TEST_P(SignedDocumentTest, ValidatesEveryMemberItUses) {
  EXPECT_EQ(SignedOutcome(GetParam().document), GetParam().outcome);
}

std::string FileNameOfMiddle(std::size_t length) {
  return R"("Ostrel-Setup-)" + std::string(length, 'a') + R"(.exe")";
}

INSTANTIATE_TEST_SUITE_P(
    Documents, SignedDocumentTest,
    testing::Values(
        DocumentCase{"NotJson", "release 1.2.3", JsonFailure},
        DocumentCase{"TopLevelArray", "[" + ValidDocument + "]", JsonFailure},
        DocumentCase{"TrailingGarbage", ValidDocument + "x", JsonFailure},
        // Members are examined in the order version, file, size, sha512, runtime.
        DocumentCase{"VersionBeforeFile", R"({"version":"1.2","file":"setup.exe"})", "Invalid release version"},
        // Signed, yet one reader would install 1.0.0 and another 9.9.9.
        DocumentCase{"VersionTwice", Document("version", R"("1.0.0","version":"9.9.9")"), JsonFailure},
        DocumentCase{"VersionMissing", Document("version", ""), JsonFailure},
        DocumentCase{"VersionNumber", Document("version", "1.2"), JsonFailure},
        DocumentCase{"VersionWithBuild", Document("version", R"("1.2.3+5")"), "Invalid release version"},
        DocumentCase{"VersionLeadingZero", Document("version", R"("1.2.3-01")"),
                     "Invalid numeric prerelease identifier"},
        DocumentCase{"FileMissing", Document("file", ""), JsonFailure},
        DocumentCase{"FileLongestMiddle", Document("file", FileNameOfMiddle(100)), Accepted},
        DocumentCase{"FileMiddleTooLong", Document("file", FileNameOfMiddle(101)), "Invalid installer filename"},
        DocumentCase{"FileEmptyMiddle", Document("file", FileNameOfMiddle(0)), "Invalid installer filename"},
        DocumentCase{"FileLowerCasePrefix", Document("file", R"("ostrel-setup-1.exe")"), "Invalid installer filename"},
        DocumentCase{"FileUpperCaseExtension", Document("file", R"("Ostrel-Setup-1.EXE")"),
                     "Invalid installer filename"},
        DocumentCase{"FileBackslash", Document("file", R"("Ostrel-Setup-..\\x.exe")"), "Invalid installer filename"},
        DocumentCase{"FileSlash", Document("file", R"("Ostrel-Setup-../x.exe")"), "Invalid installer filename"},
        DocumentCase{"FileTrailingBlank", Document("file", R"("Ostrel-Setup-1.exe ")"), "Invalid installer filename"},
        DocumentCase{"FileZeroCharacter", Document("file", R"("Ostrel-Setup-1.exe\u0000")"),
                     "Invalid installer filename"},
        DocumentCase{"FileOtherExtension", Document("file", R"("Ostrel-Setup-1.exe.msi")"),
                     "Invalid installer filename"},
        DocumentCase{"SizeLargest", Document("size", "1073741824"), Accepted},
        DocumentCase{"SizeExponent", Document("size", "1e3"), Accepted},
        DocumentCase{"SizeOneTooLarge", Document("size", "1073741825"), "Invalid installer size"},
        DocumentCase{"SizeZero", Document("size", "0"), "Invalid installer size"},
        DocumentCase{"SizeNegative", Document("size", "-5"), "Invalid installer size"},
        DocumentCase{"SizeFraction", Document("size", "1.5"), "Invalid installer size"},
        DocumentCase{"SizeHuge", Document("size", "1e300"), "Invalid installer size"},
        DocumentCase{"SizeBeyondADouble", Document("size", "1e400"), "Invalid installer size"},
        DocumentCase{"SizeString", Document("size", R"("1000")"), JsonFailure},
        DocumentCase{"SizeMissing", Document("size", ""), JsonFailure},
        DocumentCase{"DigestHex", Document("sha512", '"' + std::string(128, 'a') + '"'), "Invalid Base64 value"},
        DocumentCase{"DigestTooLong", Document("sha512", '"' + std::string(513, 'A') + '"'), "Invalid Base64 size"},
        DocumentCase{"DigestMissing", Document("sha512", ""), JsonFailure},
        DocumentCase{"RuntimeMissing", Document("runtime", ""), "Release belongs to a different runtime"},
        DocumentCase{"RuntimeUpperCase", Document("runtime", R"("chromium-Native")"),
                     "Release belongs to a different runtime"},
        DocumentCase{"RuntimeTrailingBlank", Document("runtime", R"("chromium-native ")"),
                     "Release belongs to a different runtime"},
        DocumentCase{"RuntimeNotAString", Document("runtime", "true"), JsonFailure}),
    [](const auto& info) { return info.param.name; });

TEST(ReadReleaseMetadataTest, ReadsWhatFollowsAVerifiedSignature) {
  EXPECT_EQ(ReadReleaseMetadata(ValidDocument).file, "Ostrel-Setup-1.2.3.exe");
  EXPECT_THROW(ReadReleaseMetadata(Document("size", "0")), std::runtime_error);
}

}  // namespace
}  // namespace ostrel
