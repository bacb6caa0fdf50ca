// Known answers for the checksum and the header key derivation.
#include <gtest/gtest.h>

#include "crypto/crc32.h"
#include "crypto/pbkdf2.h"
#include "crypto_reference.h"

namespace {

using namespace crypto_test;
using kx::crypto::Prf;

Bytes derive(Prf prf, const Bytes& password, const Bytes& salt, unsigned iterations, std::size_t size)
{
    Bytes out(size);
    EXPECT_TRUE(kx::crypto::pbkdf2(prf, password, salt, iterations, out));
    return out;
}

TEST(Crc32, StandardCheckValue)
{
    EXPECT_EQ(kx::crypto::crc32(text("123456789")), 0xCBF43926u);
    EXPECT_EQ(kx::crypto::crc32({}), 0u);
}

// RFC 6070.
TEST(Pbkdf2, HmacSha1PublishedVectors)
{
    EXPECT_EQ(derive(Prf::Sha1, text("password"), text("salt"), 1, 20), hex("0c60c80f961f0e71f3a9b524af6012062fe037a6"));
    EXPECT_EQ(derive(Prf::Sha1, text("password"), text("salt"), 2, 20), hex("ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"));
    EXPECT_EQ(derive(Prf::Sha1, text("password"), text("salt"), 4096, 20),
              hex("4b007901b765489abead49d926f721d065a429c1"));
    EXPECT_EQ(derive(Prf::Sha1, text("passwordPASSWORDpassword"), text("saltSALTsaltSALTsaltSALTsaltSALTsalt"), 4096, 25),
              hex("3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"));
    EXPECT_EQ(derive(Prf::Sha1, Bytes{'p', 'a', 's', 's', 0, 'w', 'o', 'r', 'd'}, Bytes{'s', 'a', 0, 'l', 't'}, 4096, 16),
              hex("56fa6aa75548099dcc37d7f03425e0c3"));
}

// The reference HMAC the other PRFs are checked against answers the
// published vectors (RFC 2286 for RIPEMD-160), and Whirlpool is the final
// published version (ISO/IEC 10118-3 "abc" vector).
TEST(Pbkdf2, ReferenceHmacAnswersPublishedVectors)
{
    EXPECT_EQ(hmac(GCRY_MD_RMD160, repeat(0x0b, 20), text("Hi There")), hex("24cb4bd67d20fc1a5d2ed7732dcc39377f0a5668"));
    EXPECT_EQ(hmac(GCRY_MD_RMD160, text("Jefe"), text("what do ya want for nothing?")),
              hex("dda6c0213a485a9e24f4742064a7f033b43c4069"));
    EXPECT_EQ(hmac(GCRY_MD_RMD160, repeat(0xaa, 20), repeat(0xdd, 50)), hex("b0b105360de759960ab4f35298e116e295d8e7c1"));
    EXPECT_EQ(hmac(GCRY_MD_RMD160, repeat(0xaa, 80), text("Test Using Larger Than Block-Size Key - Hash Key First")),
              hex("6466ca07ac5eac29e1bd523e5ada7605b791fd8b"));
    EXPECT_EQ(hmac(GCRY_MD_SHA1, text("Jefe"), text("what do ya want for nothing?")),
              hex("effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"));
    EXPECT_EQ(hash(GCRY_MD_WHIRLPOOL, text("abc")),
              hex("4e2448a4c6f486bb16b6562c73b4020bf3043e3a731bce721ae1b303d97e6d4c"
                  "7181eebdb6c57e277d0e34957114cbd6c797fc9d95d8b582d225292076d4eef5"));
}

// At the header's iteration counts and longest key (several PRF blocks),
// with a salt of the header's size and a password of the longest size.
TEST(Pbkdf2, EveryPrfMatchesReferenceAtHeaderSizes)
{
    const Bytes password = pattern(64, 1);
    const Bytes salt = pattern(64, 2);
    const struct {
        Prf prf;
        int algorithm;
    } prfs[] = {{Prf::RipeMd160, GCRY_MD_RMD160}, {Prf::Sha1, GCRY_MD_SHA1}, {Prf::Whirlpool, GCRY_MD_WHIRLPOOL}};
    for (const auto& p : prfs) {
        SCOPED_TRACE(kx::crypto::prfName(p.prf));
        const unsigned iterations = kx::crypto::headerIterations(p.prf);
        EXPECT_EQ(derive(p.prf, password, salt, iterations, 152), pbkdf2(p.algorithm, password, salt, iterations, 152));
        EXPECT_EQ(derive(p.prf, text("x"), salt, 3, 20), pbkdf2(p.algorithm, text("x"), salt, 3, 20));
    }
    // This format generation's counts: 2000 for the 160-bit hashes, 1000 for Whirlpool.
    EXPECT_EQ(kx::crypto::headerIterations(Prf::RipeMd160), 2000u);
    EXPECT_EQ(kx::crypto::headerIterations(Prf::Sha1), 2000u);
    EXPECT_EQ(kx::crypto::headerIterations(Prf::Whirlpool), 1000u);
}

}  // namespace
