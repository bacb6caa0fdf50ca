// The random pool's bytes and cursors: adding, mixing, inverting and taking
// bytes out. No locking: the owner holds the pool's section.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kx {

constexpr std::size_t kRandomPoolSize = 320;

// The hash that mixes the pool; only RIPEMD-160 is ever selected.
enum class PoolHash { Ripemd160 = 1, Sha1 = 2, Whirlpool = 3 };

// Zeroes memory in a way the compiler may not drop.
void secureWipe(void* data, std::size_t size);

class RandomPool {
public:
    // Works on kRandomPoolSize bytes that the caller owns.
    explicit RandomPool(std::uint8_t* bytes = nullptr) : bytes_(bytes) {}

    void attach(std::uint8_t* bytes) { bytes_ = bytes; }
    std::uint8_t* bytes() const { return bytes_; }

    // Adds into the byte at the write cursor, wrapping after the last byte,
    // and mixes whenever that cursor is a multiple of 8.
    void addByte(std::uint8_t value);
    // Lowest byte first.
    void addInt32(std::uint32_t value);
    void addBuffer(const void* data, std::size_t size);

    // For each digest-sized step from the start: hash the whole pool and
    // XOR the digest in at that step. Nothing while mixing is off.
    void mix();
    // Every 32-bit word of the pool inverted.
    void invert();
    // n pool bytes from the read cursor (wrapping) copied into out, or
    // XORed into it; the read cursor moves past them.
    void copyOut(std::uint8_t* out, std::size_t n);
    void xorOut(std::uint8_t* out, std::size_t n);

    std::size_t writeCursor() const { return write_; }
    void setWriteCursor(std::size_t cursor) { write_ = cursor; }
    std::size_t readCursor() const { return read_; }

    bool mixing = true;
    PoolHash hash = PoolHash::Ripemd160;

private:
    std::uint8_t* bytes_;
    std::size_t write_ = 0;
    std::size_t read_ = 0;
};

}  // namespace kx
