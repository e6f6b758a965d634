#include "tools/ostrel-release/release_signing.h"

#include <openssl/pem.h>

#include <array>
#include <new>

#include "foundation/failure.h"
#include "foundation/hex_text.h"
#include "release/ed25519_public_key.h"
#include "release/openssl_owners.h"

namespace ostrel {
namespace {

template <typename T>
T* Allocated(T* object) {
  if (object == nullptr) throw std::bad_alloc();
  return object;
}

OwnedKey ReadPrivateKey(std::string_view pem) {
  OwnedBio input(Allocated(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()))));
  OwnedKey key(PEM_read_bio_PrivateKey(input.get(), nullptr, nullptr, nullptr));
  Require(key && EVP_PKEY_get_id(key.get()) == EVP_PKEY_ED25519, "Invalid release private key");
  return key;
}

Ed25519PublicKey RawPublicKey(EVP_PKEY* key) {
  Ed25519PublicKey publicKey;
  std::size_t length = publicKey.size();
  Require(EVP_PKEY_get_raw_public_key(key, publicKey.data(), &length) == 1 && length == publicKey.size(),
          "Invalid release private key");
  Require(IsStrongEd25519PublicKey(publicKey), "Release key is of small order or off the curve");
  return publicKey;
}

}  // namespace

ReleaseKeyPair GenerateReleaseKey() {
  OwnedKey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
  Require(key != nullptr, "Key generation failed");
  OwnedBio output(Allocated(BIO_new(BIO_s_mem())));
  Require(PEM_write_bio_PrivateKey(output.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "Key generation failed");
  char* pem = nullptr;
  long length = BIO_get_mem_data(output.get(), &pem);
  return {std::string(pem, static_cast<std::size_t>(length)), RawPublicKey(key.get())};
}

Ed25519PublicKey PublicKeyOf(std::string_view privateKeyPem) {
  return RawPublicKey(ReadPrivateKey(privateKeyPem).get());
}

std::string PublicKeyFingerprint(const Ed25519PublicKey& publicKey) {
  std::array<std::uint8_t, 32> digest;
  unsigned int length = 0;
  Require(EVP_Digest(publicKey.data(), publicKey.size(), digest.data(), &length, EVP_sha256(), nullptr) == 1 &&
              length == digest.size(),
          "Fingerprint failed");
  return HexText(digest);
}

std::string SignReleaseMetadata(std::string_view privateKeyPem, std::string_view metadata) {
  OwnedKey key = ReadPrivateKey(privateKeyPem);
  OwnedDigestContext context(Allocated(EVP_MD_CTX_new()));
  Ed25519Signature signature;
  std::size_t length = signature.size();
  Require(EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
              EVP_DigestSign(context.get(), signature.data(), &length,
                             reinterpret_cast<const unsigned char*>(metadata.data()), metadata.size()) == 1 &&
              length == signature.size(),
          "Signing failed");
  return EncodeBase64(signature);
}

std::string EncodeBase64(std::span<const std::uint8_t> bytes) {
  std::string text((bytes.size() + 2) / 3 * 4 + 1, '\0');  // with EVP_EncodeBlock's terminator
  int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(), static_cast<int>(bytes.size()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace ostrel
