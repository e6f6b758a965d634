#include "release/release_signature.h"

#include <new>

#include "release/openssl_owners.h"

namespace ostrel {

bool VerifyReleaseSignature(std::string_view message, const Ed25519Signature& signature,
                            const Ed25519PublicKey& publicKey) {
  if (!IsStrongEd25519PublicKey(publicKey)) return false;
  OwnedKey key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey.data(), publicKey.size()));
  OwnedDigestContext context(EVP_MD_CTX_new());
  if (!key || !context) throw std::bad_alloc();
  // Ed25519 takes no digest of its own: the whole message goes in one call.
  if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) return false;
  return EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                          reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

}  // namespace ostrel
