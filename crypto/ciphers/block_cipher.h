// The block ciphers a volume may use, run block by block (ECB) on libgcrypt;
// the volume modes chain and tweak around them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct gcry_cipher_handle;

namespace kx::crypto {

enum class Cipher { Aes = 1, Blowfish = 2, Cast5 = 3, Serpent = 4, TripleDes = 5, Twofish = 6 };

std::size_t blockSize(Cipher cipher);
std::size_t keySize(Cipher cipher);
const char* cipherName(Cipher cipher);

enum class KeyResult { Ok, Weak, Failed };

class BlockCipher {
public:
    explicit BlockCipher(Cipher cipher);
    ~BlockCipher();
    BlockCipher(BlockCipher&& other) noexcept;
    BlockCipher& operator=(BlockCipher&&) = delete;
    BlockCipher(const BlockCipher&) = delete;
    BlockCipher& operator=(const BlockCipher&) = delete;

    Cipher cipher() const { return cipher_; }
    std::size_t blockSize() const { return kx::crypto::blockSize(cipher_); }

    // A weak DES key is still set: the caller decides whether it matters.
    [[nodiscard]] KeyResult setKey(std::span<const std::uint8_t> key);

    // In place; the size must be a whole number of blocks.
    [[nodiscard]] bool encrypt(std::span<std::uint8_t> blocks) const;
    [[nodiscard]] bool decrypt(std::span<std::uint8_t> blocks) const;

private:
    [[nodiscard]] bool run(std::span<std::uint8_t> blocks, bool encrypting) const;

    Cipher cipher_;
    gcry_cipher_handle* handle_ = nullptr;
    bool keyed_ = false;
};

}  // namespace kx::crypto
