#include "release/ed25519_public_key.h"

#include <openssl/bn.h>

#include <algorithm>
#include <memory>
#include <new>

namespace ostrel {
namespace {

struct BigNumberFree {
  void operator()(BIGNUM* number) const { BN_free(number); }
  void operator()(BN_CTX* context) const { BN_CTX_free(context); }
};
using OwnedBigNumber = std::unique_ptr<BIGNUM, BigNumberFree>;
using OwnedBigNumberContext = std::unique_ptr<BN_CTX, BigNumberFree>;

OwnedBigNumber Allocated(BIGNUM* number) {
  if (number == nullptr) throw std::bad_alloc();
  return OwnedBigNumber(number);
}

OwnedBigNumber FromHex(const char* hex) {
  BIGNUM* number = nullptr;
  if (BN_hex2bn(&number, hex) == 0) throw std::bad_alloc();
  return OwnedBigNumber(number);
}

void Check(int result) {
  if (result != 1) throw std::bad_alloc();
}

// The y coordinates of the eight points of small order, as 32 bytes with the
// sign bit clear: 0 (two points of order 4), 1 (the identity), p - 1 (order
// 2) and the two values of the four points of order 8. With the sign bit
// either way, these are the canonical encodings of all eight and the
// variants that give x = 0 a sign.
constexpr std::array<Ed25519PublicKey, 5> SmallOrderY = {{
    {0x00},
    {0x01},
    {0xec, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
     0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f},
    {0x26, 0xe8, 0x95, 0x8f, 0xc2, 0xb2, 0x27, 0xb0, 0x45, 0xc3, 0xf4, 0x89, 0xf2, 0xef, 0x98, 0xf0,
     0xd5, 0xdf, 0xac, 0x05, 0xd3, 0xc6, 0x33, 0x39, 0xb1, 0x38, 0x02, 0x88, 0x6d, 0x53, 0xfc, 0x05},
    {0xc7, 0x17, 0x6a, 0x70, 0x3d, 0x4d, 0xd8, 0x4f, 0xba, 0x3c, 0x0b, 0x76, 0x0d, 0x10, 0x67, 0x0f,
     0x2a, 0x20, 0x53, 0xfa, 0x2c, 0x39, 0xcc, 0xc6, 0x4e, 0xc7, 0xfd, 0x77, 0x92, 0xac, 0x03, 0x7a},
}};

// The field prime 2^255 - 19 and the curve constant d = -121665/121666.
constexpr const char* FieldPrime = "7fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffed";
constexpr const char* CurveD = "52036cee2b6ffe738cc740797779e89800700a4d4141d8ab75eb4dca135978a3";

}  // namespace

bool IsStrongEd25519PublicKey(const Ed25519PublicKey& key) {
  Ed25519PublicKey yBytes = key;
  yBytes[31] &= 0x7F;
  if (std::find(SmallOrderY.begin(), SmallOrderY.end(), yBytes) != SmallOrderY.end()) return false;

  OwnedBigNumberContext context(BN_CTX_new());
  if (!context) throw std::bad_alloc();
  OwnedBigNumber p = FromHex(FieldPrime);
  OwnedBigNumber d = FromHex(CurveD);
  OwnedBigNumber y = Allocated(BN_lebin2bn(yBytes.data(), static_cast<int>(yBytes.size()), nullptr));
  if (BN_cmp(y.get(), p.get()) >= 0) return false;

  // The curve gives x^2 = (y^2 - 1) / (d y^2 + 1), and some x exists exactly
  // when (y^2 - 1)(d y^2 + 1) is a square mod p (the divisor is never 0, and
  // the dividend is 0 only for y = 1 or p - 1, refused above). Euler's
  // criterion: a nonzero a is a square exactly when a^((p-1)/2) = 1.
  OwnedBigNumber ySquared = Allocated(BN_new());
  OwnedBigNumber dividend = Allocated(BN_new());
  OwnedBigNumber divisor = Allocated(BN_new());
  OwnedBigNumber product = Allocated(BN_new());
  OwnedBigNumber exponent = Allocated(BN_dup(p.get()));
  Check(BN_mod_sqr(ySquared.get(), y.get(), p.get(), context.get()));
  Check(BN_mod_sub(dividend.get(), ySquared.get(), BN_value_one(), p.get(), context.get()));
  Check(BN_mod_mul(divisor.get(), d.get(), ySquared.get(), p.get(), context.get()));
  Check(BN_mod_add(divisor.get(), divisor.get(), BN_value_one(), p.get(), context.get()));
  Check(BN_mod_mul(product.get(), dividend.get(), divisor.get(), p.get(), context.get()));
  Check(BN_sub_word(exponent.get(), 1));
  Check(BN_rshift1(exponent.get(), exponent.get()));
  Check(BN_mod_exp(product.get(), product.get(), exponent.get(), p.get(), context.get()));
  return BN_is_one(product.get());
}

}  // namespace ostrel
