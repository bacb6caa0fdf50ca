// Plain, slow reference versions of the primitives under test, written
// straight from their published definitions and sharing no code with the
// library: HMAC and PBKDF2 over libgcrypt's bare hashes, GF(2^n)
// multiplication bit by bit, one-block ECB through libgcrypt.
#pragma once

#include <gcrypt.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crypto/gcrypt_setup.h"

namespace crypto_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes hex(const std::string& text)
{
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

inline Bytes text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

inline Bytes repeat(std::uint8_t value, std::size_t count)
{
    return Bytes(count, value);
}

// Deterministic filler, different for every seed.
inline Bytes pattern(std::size_t size, std::uint8_t seed)
{
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(seed * 131 + i * 7 + (i >> 8));
    return out;
}

inline Bytes hash(int algorithm, const Bytes& data)
{
    kx::crypto::ensureGcrypt();
    Bytes out(gcry_md_get_algo_dlen(algorithm));
    gcry_md_hash_buffer(algorithm, out.data(), data.data(), data.size());
    return out;
}

// RFC 2104.
inline Bytes hmac(int algorithm, Bytes key, const Bytes& message)
{
    const std::size_t block = 64;  // RIPEMD-160, SHA-1 and Whirlpool alike
    if (key.size() > block)
        key = hash(algorithm, key);
    key.resize(block, 0);
    Bytes inner, outer;
    for (std::uint8_t k : key) {
        inner.push_back(k ^ 0x36);
        outer.push_back(k ^ 0x5c);
    }
    inner.insert(inner.end(), message.begin(), message.end());
    const Bytes innerHash = hash(algorithm, inner);
    outer.insert(outer.end(), innerHash.begin(), innerHash.end());
    return hash(algorithm, outer);
}

// RFC 2898 section 5.2.
inline Bytes pbkdf2(int algorithm, const Bytes& password, const Bytes& salt, unsigned iterations, std::size_t size)
{
    Bytes out;
    for (std::uint32_t blockIndex = 1; out.size() < size; ++blockIndex) {
        Bytes first = salt;
        for (int shift = 24; shift >= 0; shift -= 8)
            first.push_back(static_cast<std::uint8_t>(blockIndex >> shift));
        Bytes u = hmac(algorithm, password, first);
        Bytes t = u;
        for (unsigned i = 1; i < iterations; ++i) {
            u = hmac(algorithm, password, u);
            for (std::size_t j = 0; j < t.size(); ++j)
                t[j] ^= u[j];
        }
        out.insert(out.end(), t.begin(), t.end());
    }
    out.resize(size);
    return out;
}

// a * b in GF(2^n), n = 8 * size, elements as big-endian strings whose first
// bit is the top power; reduction is the low byte of the field polynomial.
inline Bytes gfMultiply(const Bytes& a, const Bytes& b, std::uint8_t reduction)
{
    Bytes result(a.size(), 0);
    for (std::size_t byte = 0; byte < b.size(); ++byte)
        for (int bit = 7; bit >= 0; --bit) {
            // result = result * x
            const bool carry = result[0] & 0x80;
            for (std::size_t i = 0; i < result.size(); ++i)
                result[i] = static_cast<std::uint8_t>(result[i] << 1 | (i + 1 < result.size() ? result[i + 1] >> 7 : 0));
            if (carry)
                result.back() ^= reduction;
            if ((b[byte] >> bit) & 1)
                for (std::size_t i = 0; i < result.size(); ++i)
                    result[i] ^= a[i];
        }
    return result;
}

inline std::uint8_t reductionFor(std::size_t blockSize)
{
    return blockSize == 16 ? 0x87 : 0x1B;
}

// A big-endian block holding value.
inline Bytes indexBlock(std::uint64_t value, std::size_t blockSize)
{
    Bytes out(blockSize, 0);
    for (std::size_t i = 0; i < 8; ++i)
        out[blockSize - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
    return out;
}

// One libgcrypt cipher in ECB, also usable where the library takes any
// block cipher.
class Ecb {
public:
    Ecb(int algorithm, const Bytes& key)
    {
        kx::crypto::ensureGcrypt();
        EXPECT_EQ(gcry_cipher_open(&handle_, algorithm, GCRY_CIPHER_MODE_ECB, 0), 0u);
        gcry_cipher_ctl(handle_, GCRYCTL_SET_ALLOW_WEAK_KEY, nullptr, 1);
        const gcry_error_t error = gcry_cipher_setkey(handle_, key.data(), key.size());
        EXPECT_TRUE(error == 0 || gcry_err_code(error) == GPG_ERR_WEAK_KEY);
        blockSize_ = gcry_cipher_get_algo_blklen(algorithm);
    }
    ~Ecb() { gcry_cipher_close(handle_); }
    Ecb(const Ecb&) = delete;
    Ecb& operator=(const Ecb&) = delete;

    std::size_t blockSize() const { return blockSize_; }
    bool encrypt(std::span<std::uint8_t> data) const
    {
        return gcry_cipher_encrypt(handle_, data.data(), data.size(), nullptr, 0) == 0;
    }
    bool decrypt(std::span<std::uint8_t> data) const
    {
        return gcry_cipher_decrypt(handle_, data.data(), data.size(), nullptr, 0) == 0;
    }

private:
    gcry_cipher_hd_t handle_ = nullptr;
    std::size_t blockSize_ = 0;
};

// LRW by its definition: C = E(P ^ T) ^ T, T = K2 * I, block by block.
template <typename Cipher>
Bytes lrwReference(const Cipher& cipher, const Bytes& tweakKey, std::uint64_t firstIndex, Bytes data)
{
    const std::size_t n = cipher.blockSize();
    for (std::size_t at = 0; at < data.size(); at += n) {
        const Bytes t = gfMultiply(tweakKey, indexBlock(firstIndex + at / n, n), reductionFor(n));
        std::span<std::uint8_t> block(data.data() + at, n);
        for (std::size_t i = 0; i < n; ++i)
            block[i] ^= t[i];
        EXPECT_TRUE(cipher.encrypt(block));
        for (std::size_t i = 0; i < n; ++i)
            block[i] ^= t[i];
    }
    return data;
}

}  // namespace crypto_test
