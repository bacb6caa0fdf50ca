// LRW: the IEEE P1619 draft's LRW-AES vectors, and the volume cipher's LRW
// against LRW computed by its definition (bitwise field multiplication).
#include <gtest/gtest.h>

#include "crypto/ciphers/algorithms.h"
#include "crypto/ciphers/cipher_stack.h"
#include "crypto/ciphers/lrw.h"
#include "crypto/ciphers/volume_cipher.h"
#include "crypto_reference.h"

namespace {

using namespace crypto_test;
using namespace kx::crypto;

struct P1619Vector {
    int algorithm;
    const char* key;
    const char* tweakKey;
    BlockIndex index;
    const char* ciphertext;
};

// IEEE P1619 draft, LRW-32-AES vectors 1 to 7; plaintext "0123456789ABCDEF".
const P1619Vector p1619[] = {
    {GCRY_CIPHER_AES128, "4562ac25f828176d4c268414b5680185", "258e2a05e73e9d03ee5a830ccc094c87", 1,
     "f1b273cd65a3df5fe95d489254634eb8"},
    {GCRY_CIPHER_AES128, "59704714f557478cd779e80f54887944", "0d48f0b7b15a53ea1caa6b29c2cafbaf", 2,
     "00c82bae95bbcde5274f0769b260e136"},
    {GCRY_CIPHER_AES128, "d82a9134b26a565030fe69e2377f9847", "cdf90b160c648fb6b00d0d1bae85871f", BlockIndex{2} << 32,
     "76322183ed8ff182f9596203690e5e01"},
    {GCRY_CIPHER_AES192, "0f6aeff8d3d2bb152583f73c1f012874cac6bc354d4a6554", "90ae61cf7baebdccade494c54a29ae70", 1,
     "9c0f152f55a2d8f0d67b8f9e2822bc41"},
    {GCRY_CIPHER_AES192, "8ad4ee102fbd81fff886ceac93c5adc6a01907c09df7bbdd", "5213b2b7f0ff11d8d608d0cd2eb1176f",
     BlockIndex{2} << 32, "d4276a7f14913d65c860480287e33406"},
    {GCRY_CIPHER_AES256, "f8d476ffd646ee6c2384cb1c77d6195dfef1a9f37bbc8d21a79c21f8cb900289",
     "a845348ec8c5b5f126f50e76fefd1b1e", 1, "bd06b8e1db98899ec498e491cf1c702b"},
    {GCRY_CIPHER_AES256, "fb7615b23d80891dd470980bc79584c8b2fb64ce6097878d17fce45a49e830b7",
     "6e7817e72d5e12d46064047af12f9e0c", BlockIndex{2} << 32, "5b908ec1abdd675f3d698a9553c89ce5"},
};

TEST(Lrw, P1619DraftVectors)
{
    for (const P1619Vector& v : p1619) {
        SCOPED_TRACE(v.ciphertext);
        const Ecb aes(v.algorithm, hex(v.key));
        const LrwTweaks tweaks(16, hex(v.tweakKey));
        Bytes data = text("0123456789ABCDEF");
        ASSERT_TRUE(lrwApply(aes, tweaks, v.index, data, true));
        EXPECT_EQ(data, hex(v.ciphertext));
        ASSERT_TRUE(lrwApply(aes, tweaks, v.index, data, false));
        EXPECT_EQ(data, text("0123456789ABCDEF"));

        // The AES-256 ones through the volume's own AES as well.
        if (v.algorithm == GCRY_CIPHER_AES256) {
            bool weak = false;
            const auto stack = CipherStack::create(*findAlgorithm(1), hex(v.key), weak);
            ASSERT_TRUE(stack);
            Bytes again = text("0123456789ABCDEF");
            ASSERT_TRUE(lrwApply(*stack, tweaks, v.index, again, true));
            EXPECT_EQ(again, hex(v.ciphertext));
        }
    }
}

// Long runs whose indices carry through many bits (the tweak is updated
// incrementally), longer than one internal chunk, in both field sizes.
TEST(Lrw, LongRunsMatchDefinitionInBothFields)
{
    const Bytes aesKey = pattern(32, 3);
    const Bytes cast5Key = pattern(16, 4);
    const Ecb aes(GCRY_CIPHER_AES256, aesKey);
    const Ecb cast5(GCRY_CIPHER_CAST5, cast5Key);
    const Bytes tweak128 = pattern(16, 5);
    const Bytes tweak64 = pattern(8, 6);
    const LrwTweaks tweaks128(16, tweak128);
    const LrwTweaks tweaks64(8, tweak64);
    const std::uint64_t starts[] = {1, 0xFFFFFFF0u, 0x00FFFFFFFFFFFFF1ull};
    for (std::uint64_t start : starts) {
        SCOPED_TRACE(start);
        const Bytes plain = pattern(8192 + 512, static_cast<std::uint8_t>(start));
        Bytes data = plain;
        ASSERT_TRUE(lrwApply(aes, tweaks128, start, data, true));
        EXPECT_EQ(data, lrwReference(aes, tweak128, start, plain));
        data = plain;
        ASSERT_TRUE(lrwApply(cast5, tweaks64, start, data, true));
        EXPECT_EQ(data, lrwReference(cast5, tweak64, start, plain));
    }
}

// Key material: the tweak key leads the 32-byte secondary key, the ciphers'
// keys follow in table order and encrypt in that order; the header's area is
// numbered from 1, and so is the data area: data unit u's blocks from
// u * blocks-per-unit + 1.
TEST(Lrw, VolumeCipherLaysOutKeysAndNumbersBlocks)
{
    const Bytes material = pattern(secondaryKeySize + 96, 7);
    const Bytes tweakKey(material.begin(), material.begin() + 16);
    const Bytes serpentKey(material.begin() + 32, material.begin() + 64);
    const Bytes twofishKey(material.begin() + 64, material.begin() + 96);
    const Bytes aesKey(material.begin() + 96, material.begin() + 128);

    const Ecb serpent(GCRY_CIPHER_SERPENT256, serpentKey);
    const Ecb twofish(GCRY_CIPHER_TWOFISH, twofishKey);
    const Ecb aes(GCRY_CIPHER_AES256, aesKey);
    struct {
        const Ecb *a, *b, *c;
        std::size_t blockSize() const { return 16; }
        bool encrypt(std::span<std::uint8_t> d) const { return a->encrypt(d) && b->encrypt(d) && c->encrypt(d); }
    } cascade{&serpent, &twofish, &aes};

    const auto cipher = VolumeCipher::create(*findAlgorithm(8), Mode::Lrw, material);
    ASSERT_TRUE(cipher);
    const Bytes plain = pattern(3 * dataUnitSize, 8);
    Bytes data = plain;
    ASSERT_TRUE(cipher->encryptData(9, data));
    EXPECT_EQ(data, lrwReference(cascade, tweakKey, 9 * 32 + 1, plain));

    const Bytes area = pattern(448, 9);
    data = area;
    ASSERT_TRUE(cipher->encryptHeaderArea(data));
    EXPECT_EQ(data, lrwReference(cascade, tweakKey, 1, area));

    // A 64-bit-block cipher uses the first 8 bytes as its tweak key.
    const Bytes cast5Material = pattern(secondaryKeySize + 16, 10);
    const auto cast5 = VolumeCipher::create(*findAlgorithm(3), Mode::Lrw, cast5Material);
    ASSERT_TRUE(cast5);
    const Ecb cast5Ref(GCRY_CIPHER_CAST5, Bytes(cast5Material.begin() + 32, cast5Material.end()));
    data = plain;
    ASSERT_TRUE(cast5->encryptData(4, data));
    EXPECT_EQ(data, lrwReference(cast5Ref, Bytes(cast5Material.begin(), cast5Material.begin() + 8), 4 * 64 + 1, plain));
}

}  // namespace
