#include "common/kx_random_pool.h"

#include <gcrypt.h>

#include "crypto/gcrypt_setup.h"

namespace kx {

namespace {

int algorithmOf(PoolHash hash)
{
    switch (hash) {
    case PoolHash::Sha1:
        return GCRY_MD_SHA1;
    case PoolHash::Whirlpool:
        return GCRY_MD_WHIRLPOOL;
    case PoolHash::Ripemd160:
        break;
    }
    return GCRY_MD_RMD160;
}

}  // namespace

void secureWipe(void* data, std::size_t size)
{
    auto* p = static_cast<volatile std::uint8_t*>(data);
    while (size--)
        *p++ = 0;
}

void RandomPool::addByte(std::uint8_t value)
{
    if (write_ == kRandomPoolSize)
        write_ = 0;
    bytes_[write_] = static_cast<std::uint8_t>(bytes_[write_] + value);
    if (write_ % 8 == 0)
        mix();
    ++write_;
}

void RandomPool::addInt32(std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        addByte(static_cast<std::uint8_t>(value >> (8 * i)));
}

void RandomPool::addBuffer(const void* data, std::size_t size)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i)
        addByte(p[i]);
}

void RandomPool::mix()
{
    if (!mixing)
        return;
    crypto::ensureGcrypt();
    const int algorithm = algorithmOf(hash);
    const std::size_t digestSize = gcry_md_get_algo_dlen(algorithm);
    std::uint8_t digest[64];
    for (std::size_t offset = 0; offset < kRandomPoolSize; offset += digestSize) {
        gcry_md_hash_buffer(algorithm, digest, bytes_, kRandomPoolSize);
        for (std::size_t i = 0; i < digestSize && offset + i < kRandomPoolSize; ++i)
            bytes_[offset + i] ^= digest[i];
    }
    secureWipe(digest, sizeof digest);
}

void RandomPool::invert()
{
    // Byte by byte inverts every word just the same, with no aliasing games.
    for (std::size_t i = 0; i < kRandomPoolSize; ++i)
        bytes_[i] = static_cast<std::uint8_t>(~bytes_[i]);
}

void RandomPool::copyOut(std::uint8_t* out, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = bytes_[read_++];
        if (read_ == kRandomPoolSize)
            read_ = 0;
    }
}

void RandomPool::xorOut(std::uint8_t* out, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        out[i] ^= bytes_[read_++];
        if (read_ == kRandomPoolSize)
            read_ = 0;
    }
}

}  // namespace kx
