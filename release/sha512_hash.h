// An incremental SHA-512 (FIPS 180-4) for data read in chunks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "release/openssl_owners.h"

namespace ostrel {

using Sha512Digest = std::array<std::uint8_t, 64>;

class Sha512Hash {
 public:
  Sha512Hash();
  void Update(const void* data, std::size_t size);
  // The digest of everything updated so far; the hash is spent afterwards.
  Sha512Digest Finish();

 private:
  OwnedDigestContext context_;
};

}  // namespace ostrel
