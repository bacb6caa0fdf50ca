// Every algorithm in every mode of the table: data units and the header's
// area come back as they went in, depend on their number, and a batch of
// units equals the units one by one.
#include <gtest/gtest.h>

#include <limits>

#include "crypto/ciphers/algorithms.h"
#include "crypto/ciphers/volume_cipher.h"
#include "crypto_reference.h"

namespace {

using namespace crypto_test;
using namespace kx::crypto;

TEST(VolumeCipher, EveryAlgorithmAndModeRoundTrips)
{
    for (const EncryptionAlgorithm& algorithm : allAlgorithms())
        for (Mode mode : algorithm.modes()) {
            SCOPED_TRACE(std::to_string(algorithm.id) + " " + modeName(mode));
            const auto cipher = VolumeCipher::create(algorithm, mode, pattern(largestKeyMaterial(), 11));
            ASSERT_TRUE(cipher);

            // Two equal units, so their ciphertexts must differ by number alone.
            Bytes plain = pattern(dataUnitSize, 12);
            plain.insert(plain.end(), plain.begin(), plain.end());
            plain.insert(plain.end(), dataUnitSize, 0);
            Bytes batch = plain;
            ASSERT_TRUE(cipher->encryptData(41, batch));
            EXPECT_NE(batch, plain);
            EXPECT_FALSE(std::equal(batch.begin(), batch.begin() + 512, batch.begin() + 512));

            Bytes single = plain;
            for (std::size_t u = 0; u < 3; ++u)
                ASSERT_TRUE(cipher->encryptData(41 + u, std::span(single).subspan(u * dataUnitSize, dataUnitSize)));
            EXPECT_EQ(single, batch);

            ASSERT_TRUE(cipher->decryptData(41, batch));
            EXPECT_EQ(batch, plain);

            Bytes area = pattern(448, 13);
            ASSERT_TRUE(cipher->encryptHeaderArea(area));
            EXPECT_NE(area, pattern(448, 13));
            ASSERT_TRUE(cipher->decryptHeaderArea(area));
            EXPECT_EQ(area, pattern(448, 13));
        }
}

TEST(VolumeCipher, RefusesWhatItCannotDo)
{
    const Bytes material = pattern(largestKeyMaterial(), 14);
    // Modes outside the algorithm's row, and key material too short.
    EXPECT_FALSE(VolumeCipher::create(*findAlgorithm(12), Mode::Lrw, material));
    EXPECT_FALSE(VolumeCipher::create(*findAlgorithm(1), Mode::InnerCbc, material));
    EXPECT_FALSE(VolumeCipher::create(*findAlgorithm(8), Mode::Lrw, Bytes(material.begin(), material.begin() + 127)));

    const auto cipher = VolumeCipher::create(*findAlgorithm(1), Mode::Lrw, material);
    ASSERT_TRUE(cipher);
    Bytes partial(dataUnitSize + 16);
    EXPECT_FALSE(cipher->encryptData(1, partial));
    Bytes two(2 * dataUnitSize);
    // Data unit n is sector n + 1 of the volume: the last sector number must fit.
    EXPECT_FALSE(cipher->encryptData(std::numeric_limits<std::uint64_t>::max() - 1, two));
    EXPECT_TRUE(cipher->encryptData(std::numeric_limits<std::uint64_t>::max() - 2, two));
}

}  // namespace
