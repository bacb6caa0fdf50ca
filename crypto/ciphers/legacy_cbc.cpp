#include "crypto/ciphers/legacy_cbc.h"

#include <algorithm>

#include "crypto/byte_order.h"
#include "crypto/crc32.h"
#include "crypto/secure_bytes.h"

namespace kx::crypto {

namespace {

std::uint32_t crcOf4(const std::uint8_t* p)
{
    return crc32(std::span<const std::uint8_t>(p, 4));
}

void whiten(std::span<std::uint8_t> data, const std::array<std::uint8_t, 8>& whitening)
{
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] ^= whitening[i % 8];
}

}  // namespace

CbcSeed headerCbcSeed(std::span<const std::uint8_t, 32> secondary, std::size_t blockSize)
{
    CbcSeed seed;
    std::copy_n(secondary.begin(), blockSize, seed.iv.begin());
    std::copy_n(secondary.begin() + 8, 8, seed.whitening.begin());
    return seed;
}

CbcSeed sectorCbcSeed(std::span<const std::uint8_t, 32> secondary, std::size_t blockSize, std::uint64_t sector)
{
    // Each 64-bit word of the secondary key, read little-endian, XOR the sector.
    std::array<std::uint8_t, 32> mixed;
    for (std::size_t i = 0; i < mixed.size(); ++i)
        mixed[i] = secondary[i] ^ static_cast<std::uint8_t>(sector >> (8 * (i % 8)));

    CbcSeed seed;
    std::copy_n(mixed.begin(), blockSize, seed.iv.begin());
    // The whitening value folds the CRC-32s of the four 32-bit words that
    // follow the IV: outer pair, then inner pair.
    const std::uint8_t* w = mixed.data() + blockSize;
    const std::uint32_t low = crcOf4(w) ^ crcOf4(w + 12);
    const std::uint32_t high = crcOf4(w + 4) ^ crcOf4(w + 8);
    storeLittle32(seed.whitening.data(), low);
    storeLittle32(seed.whitening.data() + 4, high);
    secureWipe(mixed);
    return seed;
}

template <typename BlockCipherLike>
bool cbcApply(const BlockCipherLike& cipher, std::size_t blockSize, const CbcSeed& seed, std::span<std::uint8_t> data,
              bool encrypting)
{
    if (blockSize == 0 || blockSize > seed.iv.size() || data.size() % blockSize != 0)
        return false;
    std::array<std::uint8_t, 16> chain;
    std::copy_n(seed.iv.begin(), blockSize, chain.begin());
    bool ok = true;
    for (std::size_t at = 0; ok && at < data.size(); at += blockSize) {
        const std::span<std::uint8_t> block = data.subspan(at, blockSize);
        if (encrypting) {
            for (std::size_t i = 0; i < blockSize; ++i)
                block[i] ^= chain[i];
            ok = cipher.encrypt(block);
            std::copy(block.begin(), block.end(), chain.begin());
            whiten(block, seed.whitening);
        } else {
            whiten(block, seed.whitening);
            std::array<std::uint8_t, 16> saved;
            std::copy(block.begin(), block.end(), saved.begin());
            ok = cipher.decrypt(block);
            for (std::size_t i = 0; i < blockSize; ++i)
                block[i] ^= chain[i];
            chain = saved;
        }
    }
    secureWipe(chain);
    return ok;
}

template bool cbcApply<CipherStack>(const CipherStack&, std::size_t, const CbcSeed&, std::span<std::uint8_t>, bool);
template bool cbcApply<BlockCipher>(const BlockCipher&, std::size_t, const CbcSeed&, std::span<std::uint8_t>, bool);

}  // namespace kx::crypto
