// The Ed25519 signature of release.json (RFC 8032, pure Ed25519: no context,
// no pre-hashing) over the document's exact bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "release/ed25519_public_key.h"

namespace ostrel {

using Ed25519Signature = std::array<std::uint8_t, 64>;

// Whether the signature verifies over all of the message with the key. A
// key that is not strong verifies nothing.
bool VerifyReleaseSignature(std::string_view message, const Ed25519Signature& signature,
                            const Ed25519PublicKey& publicKey);

}  // namespace ostrel
