#include "modes.h"

#include <algorithm>
#include <cstring>

namespace volume_reader {

Ecb::Ecb(const CipherKind& kind, std::span<const std::uint8_t> key) : kind_(kind)
{
    if (gcry_cipher_open(&handle_, kind.gcryptId, GCRY_CIPHER_MODE_ECB, 0) != 0) {
        handle_ = nullptr;
        return;
    }
    gcry_cipher_ctl(handle_, GCRYCTL_SET_ALLOW_WEAK_KEY, nullptr, 1);
    const gcry_error_t error = gcry_cipher_setkey(handle_, key.data(), kind.keySize);
    if (error != 0 && gcry_err_code(error) != GPG_ERR_WEAK_KEY) {
        gcry_cipher_close(handle_);
        handle_ = nullptr;
    }
}

Ecb::~Ecb()
{
    if (handle_)
        gcry_cipher_close(handle_);
}

void Ecb::swapHalves(std::span<std::uint8_t> blocks) const
{
    if (kind_.littleEndianHalves)
        for (std::size_t i = 0; i + 4 <= blocks.size(); i += 4)
            std::reverse(blocks.begin() + static_cast<std::ptrdiff_t>(i), blocks.begin() + static_cast<std::ptrdiff_t>(i + 4));
}

void Ecb::encrypt(std::span<std::uint8_t> blocks) const
{
    swapHalves(blocks);
    gcry_cipher_encrypt(handle_, blocks.data(), blocks.size(), nullptr, 0);
    swapHalves(blocks);
}

void Ecb::decrypt(std::span<std::uint8_t> blocks) const
{
    swapHalves(blocks);
    gcry_cipher_decrypt(handle_, blocks.data(), blocks.size(), nullptr, 0);
    swapHalves(blocks);
}

namespace {

void decryptAll(const Cascade& ciphers, std::span<std::uint8_t> blocks)
{
    for (auto it = ciphers.rbegin(); it != ciphers.rend(); ++it)
        (*it)->decrypt(blocks);
}

// K2 * x^j for every bit j of the field, elements as big-endian bytes.
std::vector<Bytes> keyTimesPowers(std::span<const std::uint8_t> tweakKey, std::size_t n)
{
    const std::uint8_t reduction = n == 16 ? 0x87 : 0x1B;
    std::vector<Bytes> powers;
    Bytes value(tweakKey.begin(), tweakKey.begin() + static_cast<std::ptrdiff_t>(n));
    for (std::size_t j = 0; j < 8 * n; ++j) {
        powers.push_back(value);
        const bool carry = value[0] & 0x80;
        for (std::size_t i = 0; i < n; ++i)
            value[i] = static_cast<std::uint8_t>(value[i] << 1 | (i + 1 < n ? value[i + 1] >> 7 : 0));
        if (carry)
            value[n - 1] ^= reduction;
    }
    return powers;
}

}  // namespace

void lrwDecrypt(const Cascade& ciphers, std::span<const std::uint8_t> tweakKey, std::uint64_t first,
                std::span<std::uint8_t> data)
{
    const std::size_t n = ciphers.front()->blockSize();
    const std::vector<Bytes> powers = keyTimesPowers(tweakKey, n);
    // T = K2 * I: the sum of K2 * x^j over the set bits j of I.
    Bytes tweaks(data.size(), 0);
    for (std::size_t at = 0; at < data.size(); at += n) {
        const std::uint64_t index = first + at / n;
        for (std::size_t j = 0; j < 64; ++j)
            if ((index >> j) & 1)
                for (std::size_t i = 0; i < n; ++i)
                    tweaks[at + i] ^= powers[j][i];
    }
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] ^= tweaks[i];
    decryptAll(ciphers, data);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] ^= tweaks[i];
}

CbcStart headerStart(std::span<const std::uint8_t> seed, std::size_t blockSize)
{
    CbcStart start;
    std::copy_n(seed.begin(), blockSize, start.iv.begin());
    std::copy_n(seed.begin() + 8, 8, start.whitening.begin());
    return start;
}

CbcStart sectorStart(std::span<const std::uint8_t> seed, std::size_t blockSize, std::uint64_t sector)
{
    // The seed as four little-endian 64-bit words, each XOR the sector number
    // (the fourth only for 16-byte blocks; 8-byte blocks never read it).
    std::array<std::uint8_t, 32> words;
    for (std::size_t i = 0; i < 32; ++i)
        words[i] = seed[i] ^ static_cast<std::uint8_t>(sector >> (8 * (i % 8)));
    auto crcOfWord = [&](std::size_t word) { return crc32Of(std::span(words).subspan(4 * word, 4)); };

    CbcStart start;
    std::copy_n(words.begin(), blockSize, start.iv.begin());
    // Whitening: two CRC-32s of 32-bit words past the IV, stored little-endian.
    const std::size_t w = blockSize / 4;
    const std::uint32_t low = crcOfWord(w) ^ crcOfWord(w + 3);
    const std::uint32_t high = crcOfWord(w + 1) ^ crcOfWord(w + 2);
    for (int i = 0; i < 4; ++i) {
        start.whitening[i] = static_cast<std::uint8_t>(low >> (8 * i));
        start.whitening[4 + i] = static_cast<std::uint8_t>(high >> (8 * i));
    }
    return start;
}

void cbcDecrypt(const Cascade& ciphers, const CbcStart& start, std::span<std::uint8_t> data)
{
    const std::size_t n = ciphers.front()->blockSize();
    std::array<std::uint8_t, 16> previous = start.iv;
    for (std::size_t at = 0; at + n <= data.size(); at += n) {
        const std::span<std::uint8_t> block = data.subspan(at, n);
        for (std::size_t i = 0; i < n; ++i)
            block[i] ^= start.whitening[i % 8];
        std::array<std::uint8_t, 16> stored{};
        std::copy(block.begin(), block.end(), stored.begin());
        decryptAll(ciphers, block);
        for (std::size_t i = 0; i < n; ++i)
            block[i] ^= previous[i];
        previous = stored;
    }
}

std::uint32_t crc32Of(std::span<const std::uint8_t> bytes)
{
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

}  // namespace volume_reader
