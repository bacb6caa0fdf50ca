// Volume headers: created here, opened with the same password and refused
// with another, for every algorithm, mode and PRF; the layout read back by
// hand; the version and password checks.
#include <gtest/gtest.h>

#include <algorithm>

#include "crypto/crc32.h"
#include "crypto/header_seal.h"
#include "crypto/volume_keys.h"
#include "crypto_reference.h"

namespace {

using namespace crypto_test;
using namespace kx::crypto;

constexpr std::uint64_t volumeSize = 64 * 1024 * 1024;
constexpr std::uint64_t someTime = 0x01D9A1B2C3D4E5F6ull;

RandomSource fixedRandom(std::uint8_t seed)
{
    return [seed, n = 0](std::span<std::uint8_t> out) mutable {
        const Bytes bytes = pattern(out.size(), static_cast<std::uint8_t>(seed + n++));
        std::copy(bytes.begin(), bytes.end(), out.begin());
        return true;
    };
}

CreateResult create(std::string_view password, CreateOptions options = {})
{
    if (options.volumeSize == 0)
        options.volumeSize = volumeSize;
    return createHeader(passwordBytes(password), options, gcryptRandom(false));
}

TEST(VolumeHeader, EveryAlgorithmModeAndPrfOpensOnlyWithItsPassword)
{
    for (const EncryptionAlgorithm& algorithm : allAlgorithms())
        for (Mode mode : algorithm.modes())
            for (Prf prf : allPrfs) {
                SCOPED_TRACE(std::to_string(algorithm.id) + " " + modeName(mode) + " " + prfName(prf));
                CreateOptions options;
                options.algorithm = algorithm.id;
                options.mode = mode;
                options.prf = prf;
                options.allowLegacy = true;
                const CreateResult created = create("correct horse", options);
                ASSERT_EQ(created.error, HeaderError::None);

                const OpenResult opened = openHeader(passwordBytes("correct horse"), created.header);
                ASSERT_EQ(opened.error, HeaderError::None);
                EXPECT_EQ(opened.volume->algorithm->id, algorithm.id);
                EXPECT_EQ(opened.volume->mode, mode);
                EXPECT_EQ(opened.volume->prf, prf);
                EXPECT_TRUE(std::ranges::equal(opened.volume->keyArea.span(), created.volume->keyArea.span()));

                // Data written with the creator's keys reads back through the opener's.
                Bytes unit = pattern(dataUnitSize, 1);
                ASSERT_TRUE(created.volume->cipher->encryptData(0, unit));
                ASSERT_TRUE(opened.volume->cipher->decryptData(0, unit));
                EXPECT_EQ(unit, pattern(dataUnitSize, 1));

                const OpenResult refused = openHeader(passwordBytes("correct horsf"), created.header);
                EXPECT_EQ(refused.error, HeaderError::WrongPassword);
                EXPECT_FALSE(refused.volume);
            }
}

// Decrypted independently (PBKDF2-HMAC-SHA-1 and LRW-AES by definition), a
// default header shows the format's fields where the format puts them.
TEST(VolumeHeader, DefaultHeaderLayoutReadByHand)
{
    CreateOptions options;
    options.volumeSize = volumeSize;
    options.now = someTime;
    const CreateResult created = createHeader(passwordBytes("pw"), options, fixedRandom(20));
    ASSERT_EQ(created.error, HeaderError::None);
    EXPECT_EQ(created.volume->algorithm->id, 1);
    EXPECT_EQ(created.volume->mode, Mode::Lrw);
    EXPECT_EQ(created.volume->prf, Prf::Sha1);

    const Bytes salt(created.header.begin(), created.header.begin() + 64);
    const Bytes key = pbkdf2(GCRY_MD_SHA1, text("pw"), salt, 2000, 64);
    const Ecb aes(GCRY_CIPHER_AES256, Bytes(key.begin() + 32, key.end()));
    const Bytes tweakKey(key.begin(), key.begin() + 16);
    // Decrypt: LRW is its own structure around AES, so run AES backwards.
    Bytes plain(created.header.begin() + 64, created.header.end());
    for (std::size_t at = 0; at < plain.size(); at += 16) {
        const Bytes t = gfMultiply(tweakKey, indexBlock(1 + at / 16, 16), 0x87);
        std::span<std::uint8_t> block(plain.data() + at, 16);
        for (std::size_t i = 0; i < 16; ++i)
            block[i] ^= t[i];
        ASSERT_TRUE(aes.decrypt(block));
        for (std::size_t i = 0; i < 16; ++i)
            block[i] ^= t[i];
    }
    auto at = [&](std::size_t offset, std::size_t size) {
        return Bytes(plain.begin() + (offset - 64), plain.begin() + (offset - 64 + size));
    };
    EXPECT_EQ(at(64, 4), text("TRUE"));
    EXPECT_EQ(at(68, 2), hex("0002"));
    EXPECT_EQ(at(70, 2), hex("0410"));
    const Bytes keyArea = at(256, 256);
    const std::uint32_t crc = kx::crypto::crc32(keyArea);
    EXPECT_EQ(at(72, 4), (Bytes{std::uint8_t(crc >> 24), std::uint8_t(crc >> 16), std::uint8_t(crc >> 8), std::uint8_t(crc)}));
    EXPECT_EQ(at(76, 8), hex("01d9a1b2c3d4e5f6"));
    EXPECT_EQ(at(84, 8), hex("01d9a1b2c3d4e5f6"));
    // The hidden volume's size, bytes 100..107 (version 2 has no size field)
    // and the reserved bytes: all zero.
    EXPECT_EQ(at(92, 164), Bytes(164, 0));
    EXPECT_TRUE(std::ranges::equal(keyArea, created.volume->keyArea.span()));

    // Salt and keys come from the random source, each its own draw.
    EXPECT_NE(salt, Bytes(keyArea.begin(), keyArea.begin() + 64));
    EXPECT_TRUE(gcry_is_secure(created.volume->keyArea.data()));
}

TEST(VolumeHeader, CreationRefusals)
{
    CreateOptions legacy;
    for (int id : {2, 3, 5, 12, 13}) {
        legacy.algorithm = id;
        legacy.mode = id >= 12 ? Mode::InnerCbc : Mode::Lrw;
        EXPECT_EQ(create("pw", legacy).error, HeaderError::Unsupported) << id;
    }
    CreateOptions cbc;
    cbc.mode = Mode::Cbc;
    EXPECT_EQ(create("pw", cbc).error, HeaderError::Unsupported);
    CreateOptions unknown;
    unknown.algorithm = 14;
    EXPECT_EQ(create("pw", unknown).error, HeaderError::Unsupported);
    unknown.algorithm = 1;
    unknown.prf = static_cast<Prf>(4);
    EXPECT_EQ(create("pw", unknown).error, HeaderError::Unsupported);

    EXPECT_EQ(create("").error, HeaderError::BadPassword);
    EXPECT_EQ(create(std::string(65, 'p')).error, HeaderError::BadPassword);
    EXPECT_EQ(create(std::string(64, 'p')).error, HeaderError::None);

    CreateOptions size;
    for (std::uint64_t bytes : {std::uint64_t{512}, std::uint64_t{1024 + 100}}) {
        size.volumeSize = bytes;
        EXPECT_EQ(create("pw", size).error, HeaderError::BadVolumeSize) << bytes;
    }

    CreateOptions ok;
    ok.volumeSize = volumeSize;
    const RandomSource broken = [](std::span<std::uint8_t>) { return false; };
    EXPECT_EQ(createHeader(passwordBytes("pw"), ok, broken).error, HeaderError::RandomFailed);
    EXPECT_EQ(createHeader(passwordBytes("pw"), ok, RandomSource{}).error, HeaderError::RandomFailed);
}

// Re-seals an opened volume with changed fields, as a newer or damaged
// header would look.
HeaderBytes resealed(const CreateResult& created, std::string_view password, HeaderFields fields)
{
    OpenResult opened = openHeader(passwordBytes(password), created.header);
    EXPECT_EQ(opened.error, HeaderError::None);
    opened.volume->fields = fields;
    PlainHeader plain;
    layOutHeader(*opened.volume, plain);
    HeaderBytes out{};
    EXPECT_EQ(sealHeader(passwordBytes(password), *opened.volume, plain, gcryptRandom(false), out), HeaderError::None);
    return out;
}

TEST(VolumeHeader, RequiredProgramVersionIsChecked)
{
    const CreateResult created = create("pw");
    HeaderFields fields = created.volume->fields;

    fields.requiredProgramVersion = 1082;
    EXPECT_EQ(openHeader(passwordBytes("pw"), resealed(created, "pw", fields)).error, HeaderError::None);
    for (std::uint16_t version : {std::uint16_t{1083}, std::uint16_t{0x0500}, std::uint16_t{0xFFFF}}) {
        fields.requiredProgramVersion = version;
        const OpenResult refused = openHeader(passwordBytes("pw"), resealed(created, "pw", fields));
        EXPECT_EQ(refused.error, HeaderError::NewerProgramRequired) << version;
        EXPECT_FALSE(refused.volume);
    }
}

TEST(VolumeHeader, DamageAndBadPasswordsAreRefused)
{
    const CreateResult created = create("pw");
    // The salt, the fields, the key area: each one byte off.
    for (std::size_t offset : {std::size_t{5}, std::size_t{70}, std::size_t{300}, std::size_t{511}}) {
        HeaderBytes damaged = created.header;
        damaged[offset] ^= 0x01;
        EXPECT_EQ(openHeader(passwordBytes("pw"), damaged).error, HeaderError::WrongPassword) << offset;
    }
    EXPECT_EQ(openHeader(passwordBytes(""), created.header).error, HeaderError::BadPassword);
    EXPECT_EQ(openHeader(passwordBytes(std::string(65, 'p')), created.header).error, HeaderError::BadPassword);

    HeaderBytes zeros{};
    EXPECT_EQ(openHeader(passwordBytes("pw"), zeros).error, HeaderError::WrongPassword);
}

TEST(VolumeHeader, WeakDesKeysAreRedrawnOnCreationAndFlaggedOnOpening)
{
    // The first draw for the keys makes all three DES keys weak.
    int draws = 0;
    const RandomSource weakFirst = [&draws](std::span<std::uint8_t> out) {
        if (draws++ == 0) {
            std::fill(out.begin(), out.end(), 0x01);
            return true;
        }
        return gcryptRandom(false)(out);
    };
    CreateOptions options;
    options.algorithm = 5;
    options.allowLegacy = true;
    options.volumeSize = volumeSize;
    const CreateResult created = createHeader(passwordBytes("pw"), options, weakFirst);
    ASSERT_EQ(created.error, HeaderError::None);
    EXPECT_FALSE(created.volume->weakKey);
    EXPECT_NE(created.volume->keyArea.data()[32], 0x01);

    // A header that does hold weak keys still opens, flagged.
    OpenResult opened = openHeader(passwordBytes("pw"), created.header);
    ASSERT_EQ(opened.error, HeaderError::None);
    std::fill_n(opened.volume->keyArea.data() + 32, 24, 0x01);
    opened.volume->fields.keyAreaCrc = kx::crypto::crc32(opened.volume->keyArea.span());
    PlainHeader plain;
    layOutHeader(*opened.volume, plain);
    HeaderBytes weak{};
    ASSERT_EQ(sealHeader(passwordBytes("pw"), *opened.volume, plain, gcryptRandom(false), weak), HeaderError::None);
    const OpenResult flagged = openHeader(passwordBytes("pw"), weak);
    ASSERT_EQ(flagged.error, HeaderError::None);
    EXPECT_TRUE(flagged.volume->weakKey);
}

}  // namespace
