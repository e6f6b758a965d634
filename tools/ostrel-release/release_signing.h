// The publisher's half of the release signature: Ed25519 key pairs, the
// signature text of release.json and the Base64 encoding the feed uses.
// Used by ostrel-release and by the tests that play the publisher.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "release/release_signature.h"

namespace ostrel {

struct ReleaseKeyPair {
  std::string privateKeyPem;  // PKCS #8
  Ed25519PublicKey publicKey;
};

ReleaseKeyPair GenerateReleaseKey();

// The public key of a PEM private key; fails with "Invalid release private
// key" unless it is an Ed25519 key.
Ed25519PublicKey PublicKeyOf(std::string_view privateKeyPem);

// The fingerprint by which people compare public keys: the SHA-256 of the
// key's 32 raw bytes, as 64 lower-case hex digits (the release directory's
// release-public-key.fingerprint holds the same).
std::string PublicKeyFingerprint(const Ed25519PublicKey& publicKey);

// The content of release.sig for the exact bytes of release.json: the
// Base64 text of their Ed25519 signature, without a line break.
std::string SignReleaseMetadata(std::string_view privateKeyPem, std::string_view metadata);

// Canonical padded Base64 on one line.
std::string EncodeBase64(std::span<const std::uint8_t> bytes);

}  // namespace ostrel
