#include "release/sha512_hash.h"

#include <new>

#include "foundation/failure.h"

namespace ostrel {

Sha512Hash::Sha512Hash() : context_(EVP_MD_CTX_new()) {
  if (!context_) throw std::bad_alloc();
  Require(EVP_DigestInit_ex(context_.get(), EVP_sha512(), nullptr) == 1, "SHA-512 unavailable");
}

void Sha512Hash::Update(const void* data, std::size_t size) {
  Require(EVP_DigestUpdate(context_.get(), data, size) == 1, "SHA-512 unavailable");
}

Sha512Digest Sha512Hash::Finish() {
  Sha512Digest digest;
  unsigned int length = 0;
  Require(EVP_DigestFinal_ex(context_.get(), digest.data(), &length) == 1 && length == digest.size(),
          "SHA-512 unavailable");
  return digest;
}

}  // namespace ostrel
