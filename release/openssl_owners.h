// Owners of the OpenSSL objects that release code holds, so each is freed
// on every path, failures included.
#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>

#include <memory>

namespace ostrel {

struct OpenSslFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  void operator()(BIO* bio) const { BIO_free(bio); }
};

using OwnedKey = std::unique_ptr<EVP_PKEY, OpenSslFree>;
using OwnedDigestContext = std::unique_ptr<EVP_MD_CTX, OpenSslFree>;
using OwnedBio = std::unique_ptr<BIO, OpenSslFree>;

}  // namespace ostrel
