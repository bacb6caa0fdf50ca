#include "crypto/ciphers/lrw.h"

#include <bit>
#include <cstring>

namespace kx::crypto {

namespace {

BlockIndex load(const SecureBytes& table, std::size_t k)
{
    BlockIndex value;
    std::memcpy(&value, table.data() + k * sizeof(value), sizeof(value));
    return value;
}

void store(SecureBytes& table, std::size_t k, BlockIndex value)
{
    std::memcpy(table.data() + k * sizeof(value), &value, sizeof(value));
}

std::size_t trailingOnes(BlockIndex index)
{
    const auto low = static_cast<std::uint64_t>(index);
    if (low != ~std::uint64_t{0})
        return static_cast<std::size_t>(std::countr_one(low));
    return 64 + static_cast<std::size_t>(std::countr_one(static_cast<std::uint64_t>(index >> 64)));
}

}  // namespace

LrwTweaks::LrwTweaks(std::size_t blockSize, std::span<const std::uint8_t> key)
    : blockSize_(blockSize), powers_(blockSize * 8 * sizeof(BlockIndex)),
      increments_(blockSize * 8 * sizeof(BlockIndex))
{
    const std::size_t bits = blockSize * 8;
    const BlockIndex top = BlockIndex{1} << (bits - 1);
    // x^128 = x^7 + x^2 + x + 1; x^64 = x^4 + x^3 + x + 1.
    const BlockIndex reduction = bits == 128 ? 0x87 : 0x1B;
    const BlockIndex mask = bits == 128 ? ~BlockIndex{0} : (BlockIndex{1} << 64) - 1;

    BlockIndex value = 0;
    for (std::size_t i = 0; i < blockSize; ++i)
        value = (value << 8) | key[i];
    BlockIndex sum = 0;
    for (std::size_t k = 0; k < bits; ++k) {
        store(powers_, k, value);
        sum ^= value;
        store(increments_, k, sum);
        const bool carry = (value & top) != 0;
        value = (value << 1) & mask;
        if (carry)
            value ^= reduction;
    }
    secureWipe(&value, sizeof(value));
    secureWipe(&sum, sizeof(sum));
}

BlockIndex LrwTweaks::power(std::size_t k) const
{
    return load(powers_, k);
}

BlockIndex LrwTweaks::increment(std::size_t ones) const
{
    return load(increments_, ones);
}

void LrwTweaks::fill(BlockIndex first, std::span<std::uint8_t> out) const
{
    const std::size_t bits = blockSize_ * 8;
    if (bits == 64)
        first &= (BlockIndex{1} << 64) - 1;
    BlockIndex tweak = 0;
    for (std::size_t k = 0; k < bits; ++k)
        if ((first >> k) & 1)
            tweak ^= power(k);

    BlockIndex index = first;
    for (std::size_t at = 0; at + blockSize_ <= out.size(); at += blockSize_) {
        for (std::size_t i = 0; i < blockSize_; ++i)
            out[at + i] = static_cast<std::uint8_t>(tweak >> (8 * (blockSize_ - 1 - i)));
        // I ^ (I + 1) is the run of trailing ones of I plus the next bit.
        const std::size_t ones = trailingOnes(index);
        tweak ^= increment(ones < bits ? ones : bits - 1);
        ++index;
    }
    secureWipe(&tweak, sizeof(tweak));
}

}  // namespace kx::crypto
