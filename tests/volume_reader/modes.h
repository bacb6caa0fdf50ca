// The block ciphers in ECB and the format's modes over them, for the
// second reader only.
#pragma once

#include <gcrypt.h>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace volume_reader {

using Bytes = std::vector<std::uint8_t>;

struct CipherKind {
    int gcryptId;
    std::size_t blockSize;
    std::size_t keySize;
    bool littleEndianHalves;  // Blowfish as the format runs it
};

// One keyed cipher in ECB over whole blocks.
class Ecb {
public:
    Ecb(const CipherKind& kind, std::span<const std::uint8_t> key);
    ~Ecb();
    Ecb(const Ecb&) = delete;
    Ecb& operator=(const Ecb&) = delete;

    std::size_t blockSize() const { return kind_.blockSize; }
    bool ok() const { return handle_ != nullptr; }
    void encrypt(std::span<std::uint8_t> blocks) const;
    void decrypt(std::span<std::uint8_t> blocks) const;

private:
    void swapHalves(std::span<std::uint8_t> blocks) const;
    CipherKind kind_;
    gcry_cipher_hd_t handle_ = nullptr;
};

// The ciphers of an algorithm, first to last in the format's table; a
// cascade encrypts with the first one first.
using Cascade = std::vector<std::shared_ptr<const Ecb>>;

// LRW decryption of whole blocks, the first at block index `first`.
void lrwDecrypt(const Cascade& ciphers, std::span<const std::uint8_t> tweakKey, std::uint64_t first,
                std::span<std::uint8_t> data);

struct CbcStart {
    std::array<std::uint8_t, 16> iv{};
    std::array<std::uint8_t, 8> whitening{};
};

// The header's IV and whitening, and a sector's, from the 32-byte seed.
CbcStart headerStart(std::span<const std::uint8_t> seed, std::size_t blockSize);
CbcStart sectorStart(std::span<const std::uint8_t> seed, std::size_t blockSize, std::uint64_t sector);

// Whitened CBC decryption with the ciphers run as one block cipher (plain
// and outer CBC), the ciphertext being whitened after chaining.
void cbcDecrypt(const Cascade& ciphers, const CbcStart& start, std::span<std::uint8_t> data);

// CRC-32 (IEEE 802.3, reflected) of bytes.
std::uint32_t crc32Of(std::span<const std::uint8_t> bytes);

}  // namespace volume_reader
