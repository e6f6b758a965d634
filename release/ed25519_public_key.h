// Ed25519 public keys: the 32-byte encoding of a curve point (RFC 8032), the
// little-endian y coordinate with the sign of x in the top bit.
#pragma once

#include <array>
#include <cstdint>

namespace ostrel {

using Ed25519PublicKey = std::array<std::uint8_t, 32>;

// Whether the key can be trusted to verify signatures: y is below the field
// prime, the point lies on the curve, and it is not one of the eight points
// of small order. A small-order key lets one fixed forged signature verify
// many or all messages, and the crypto library accepts such keys, so every
// key passes this test before it is used or written.
bool IsStrongEd25519PublicKey(const Ed25519PublicKey& key);

}  // namespace ostrel
