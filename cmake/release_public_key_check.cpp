// Runs the updater's own test of a release public key on the build machine,
// for the configuration to refuse a key the updater would refuse. Takes the
// key as 64 hex digits; exits 0 for a strong key and 1 for any other.
#include <cstdio>
#include <cstring>

#include "release/ed25519_public_key.h"

int main(int argc, char** argv) {
  ostrel::Ed25519PublicKey key;
  if (argc != 2 || std::strlen(argv[1]) != key.size() * 2) return 1;
  for (std::size_t i = 0; i < key.size(); ++i) {
    unsigned int byte = 0;
    if (std::sscanf(argv[1] + i * 2, "%2x", &byte) != 1) return 1;
    key[i] = static_cast<std::uint8_t>(byte);
  }
  return ostrel::IsStrongEd25519PublicKey(key) ? 0 : 1;
}
