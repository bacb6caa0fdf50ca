// The CBC modes of older volumes against CBC written out from the format's
// description: IV and whitening from the secondary key (mixed with the unit
// number for data, as they stand for the header), whitening XORed over the
// ciphertext, chaining on the ciphertext before whitening.
#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "crypto/ciphers/algorithms.h"
#include "crypto/ciphers/volume_cipher.h"
#include "crypto_reference.h"

namespace {

using namespace crypto_test;
using namespace kx::crypto;

using EncryptBlock = std::function<void(std::span<std::uint8_t>)>;

std::uint32_t bitwiseCrc32(const std::uint8_t* p, std::size_t n)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

struct Seed {
    Bytes iv;
    Bytes whitening;
};

Seed headerSeed(const Bytes& secondary, std::size_t blockSize)
{
    return {Bytes(secondary.begin(), secondary.begin() + blockSize), Bytes(secondary.begin() + 8, secondary.begin() + 16)};
}

Seed unitSeed(const Bytes& secondary, std::size_t blockSize, std::uint64_t unit)
{
    Bytes mixed = secondary;
    for (std::size_t word = 0; word < 4; ++word)
        for (std::size_t i = 0; i < 8; ++i)
            mixed[word * 8 + i] ^= static_cast<std::uint8_t>(unit >> (8 * i));
    const std::uint8_t* w = mixed.data() + blockSize;
    const std::uint32_t low = bitwiseCrc32(w, 4) ^ bitwiseCrc32(w + 12, 4);
    const std::uint32_t high = bitwiseCrc32(w + 4, 4) ^ bitwiseCrc32(w + 8, 4);
    Bytes whitening;
    for (std::uint32_t v : {low, high})
        for (int i = 0; i < 4; ++i)
            whitening.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return {Bytes(mixed.begin(), mixed.begin() + blockSize), whitening};
}

Bytes cbcReference(const EncryptBlock& encrypt, std::size_t blockSize, const Seed& seed, Bytes data)
{
    Bytes chain = seed.iv;
    for (std::size_t at = 0; at < data.size(); at += blockSize) {
        std::span<std::uint8_t> block(data.data() + at, blockSize);
        for (std::size_t i = 0; i < blockSize; ++i)
            block[i] ^= chain[i];
        encrypt(block);
        chain.assign(block.begin(), block.end());
        for (std::size_t i = 0; i < blockSize; ++i)
            block[i] ^= seed.whitening[i % 8];
    }
    return data;
}

EncryptBlock with(const Ecb& cipher)
{
    return [&cipher](std::span<std::uint8_t> b) { EXPECT_TRUE(cipher.encrypt(b)); };
}

// The format's Blowfish: the published cipher on little-endian halves.
EncryptBlock blowfishLittleEndian(const Ecb& blowfish)
{
    return [&blowfish](std::span<std::uint8_t> b) {
        for (std::size_t i = 0; i < b.size(); i += 4)
            std::reverse(b.begin() + i, b.begin() + i + 4);
        EXPECT_TRUE(blowfish.encrypt(b));
        for (std::size_t i = 0; i < b.size(); i += 4)
            std::reverse(b.begin() + i, b.begin() + i + 4);
    };
}

// Data units counted after the header, as the volume's sector numbers:
// data unit n is sector n + 1.
Bytes encryptSector(int algorithm, Mode mode, const Bytes& material, std::uint64_t sector, Bytes data)
{
    const auto cipher = VolumeCipher::create(*findAlgorithm(algorithm), mode, material);
    EXPECT_TRUE(cipher);
    if (cipher) {
        EXPECT_TRUE(cipher->encryptData(sector - 1, data));
    }
    return data;
}

Bytes encryptHeader(int algorithm, Mode mode, const Bytes& material, Bytes data)
{
    const auto cipher = VolumeCipher::create(*findAlgorithm(algorithm), mode, material);
    EXPECT_TRUE(cipher);
    if (cipher) {
        EXPECT_TRUE(cipher->encryptHeaderArea(data));
    }
    return data;
}

Bytes keyAt(const Bytes& material, std::size_t offset, std::size_t size)
{
    return Bytes(material.begin() + offset, material.begin() + offset + size);
}

TEST(LegacyCbc, SingleCiphersOfBothBlockSizes)
{
    const Bytes plain = pattern(dataUnitSize, 1);
    const Bytes area = pattern(448, 2);

    const Bytes aesMaterial = pattern(64, 3);
    const Bytes secondary = keyAt(aesMaterial, 0, 32);
    const Ecb aes(GCRY_CIPHER_AES256, keyAt(aesMaterial, 32, 32));
    EXPECT_EQ(encryptSector(1, Mode::Cbc, aesMaterial, 77, plain), cbcReference(with(aes), 16, unitSeed(secondary, 16, 77), plain));
    EXPECT_EQ(encryptHeader(1, Mode::Cbc, aesMaterial, area), cbcReference(with(aes), 16, headerSeed(secondary, 16), area));

    const Bytes desMaterial = pattern(56, 4);
    const Bytes desSecondary = keyAt(desMaterial, 0, 32);
    const Ecb des3(GCRY_CIPHER_3DES, keyAt(desMaterial, 32, 24));
    EXPECT_EQ(encryptSector(5, Mode::Cbc, desMaterial, 0x123456789ull, plain),
              cbcReference(with(des3), 8, unitSeed(desSecondary, 8, 0x123456789ull), plain));
    EXPECT_EQ(encryptHeader(5, Mode::Cbc, desMaterial, area), cbcReference(with(des3), 8, headerSeed(desSecondary, 8), area));
}

TEST(LegacyCbc, OuterCbcChainsTheCascadeAsOneCipher)
{
    const Bytes material = pattern(96, 5);
    const Bytes secondary = keyAt(material, 0, 32);
    const Ecb twofish(GCRY_CIPHER_TWOFISH, keyAt(material, 32, 32));
    const Ecb aes(GCRY_CIPHER_AES256, keyAt(material, 64, 32));
    const EncryptBlock cascade = [&](std::span<std::uint8_t> b) { EXPECT_TRUE(twofish.encrypt(b) && aes.encrypt(b)); };
    const Bytes plain = pattern(2 * dataUnitSize, 6);

    const Bytes expectedFirst = cbcReference(cascade, 16, unitSeed(secondary, 16, 3), Bytes(plain.begin(), plain.begin() + 512));
    const Bytes expectedSecond = cbcReference(cascade, 16, unitSeed(secondary, 16, 4), Bytes(plain.begin() + 512, plain.end()));
    Bytes expected = expectedFirst;
    expected.insert(expected.end(), expectedSecond.begin(), expectedSecond.end());
    EXPECT_EQ(encryptSector(7, Mode::OuterCbc, material, 3, plain), expected);
}

TEST(LegacyCbc, InnerCbcChainsEachCipherOnItsOwn)
{
    const Bytes material = pattern(32 + 56 + 32, 7);
    const Bytes secondary = keyAt(material, 0, 32);
    const Ecb blowfish(GCRY_CIPHER_BLOWFISH, keyAt(material, 32, 56));
    const Ecb aes(GCRY_CIPHER_AES256, keyAt(material, 88, 32));
    const Bytes plain = pattern(dataUnitSize, 8);

    const Bytes inner = cbcReference(blowfishLittleEndian(blowfish), 8, unitSeed(secondary, 8, 12), plain);
    EXPECT_EQ(encryptSector(12, Mode::InnerCbc, material, 12, plain), cbcReference(with(aes), 16, unitSeed(secondary, 16, 12), inner));

    const Bytes area = pattern(448, 9);
    const Bytes innerArea = cbcReference(blowfishLittleEndian(blowfish), 8, headerSeed(secondary, 8), area);
    EXPECT_EQ(encryptHeader(12, Mode::InnerCbc, material, area), cbcReference(with(aes), 16, headerSeed(secondary, 16), innerArea));
}

}  // namespace
