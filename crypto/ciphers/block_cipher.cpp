#include "crypto/ciphers/block_cipher.h"

#include <gcrypt.h>

#include <utility>

#include "crypto/gcrypt_setup.h"

namespace kx::crypto {

namespace {

int gcryptAlgorithm(Cipher cipher)
{
    switch (cipher) {
    case Cipher::Aes: return GCRY_CIPHER_AES256;
    case Cipher::Blowfish: return GCRY_CIPHER_BLOWFISH;
    case Cipher::Cast5: return GCRY_CIPHER_CAST5;
    case Cipher::Serpent: return GCRY_CIPHER_SERPENT256;
    case Cipher::TripleDes: return GCRY_CIPHER_3DES;
    case Cipher::Twofish: return GCRY_CIPHER_TWOFISH;
    }
    return GCRY_CIPHER_NONE;
}

// The volume format runs Blowfish on 32-bit halves read little-endian,
// where the published cipher reads them big-endian.
void swapWords(std::span<std::uint8_t> blocks)
{
    for (std::size_t i = 0; i + 4 <= blocks.size(); i += 4) {
        std::swap(blocks[i], blocks[i + 3]);
        std::swap(blocks[i + 1], blocks[i + 2]);
    }
}

}  // namespace

std::size_t blockSize(Cipher cipher)
{
    switch (cipher) {
    case Cipher::Aes:
    case Cipher::Serpent:
    case Cipher::Twofish: return 16;
    case Cipher::Blowfish:
    case Cipher::Cast5:
    case Cipher::TripleDes: return 8;
    }
    return 0;
}

std::size_t keySize(Cipher cipher)
{
    switch (cipher) {
    case Cipher::Aes:
    case Cipher::Serpent:
    case Cipher::Twofish: return 32;
    case Cipher::Blowfish: return 56;
    case Cipher::Cast5: return 16;
    case Cipher::TripleDes: return 24;
    }
    return 0;
}

const char* cipherName(Cipher cipher)
{
    switch (cipher) {
    case Cipher::Aes: return "AES";
    case Cipher::Blowfish: return "Blowfish";
    case Cipher::Cast5: return "CAST5";
    case Cipher::Serpent: return "Serpent";
    case Cipher::TripleDes: return "Triple DES";
    case Cipher::Twofish: return "Twofish";
    }
    return "?";
}

BlockCipher::BlockCipher(Cipher cipher) : cipher_(cipher)
{
    ensureGcrypt();
    if (gcry_cipher_open(&handle_, gcryptAlgorithm(cipher), GCRY_CIPHER_MODE_ECB, GCRY_CIPHER_SECURE) != 0)
        handle_ = nullptr;
    else
        gcry_cipher_ctl(handle_, GCRYCTL_SET_ALLOW_WEAK_KEY, nullptr, 1);
}

BlockCipher::~BlockCipher()
{
    if (handle_)
        gcry_cipher_close(handle_);  // libgcrypt wipes the key schedule
}

BlockCipher::BlockCipher(BlockCipher&& other) noexcept
    : cipher_(other.cipher_), handle_(std::exchange(other.handle_, nullptr)), keyed_(std::exchange(other.keyed_, false))
{
}

KeyResult BlockCipher::setKey(std::span<const std::uint8_t> key)
{
    keyed_ = false;
    if (!handle_ || key.size() != keySize(cipher_))
        return KeyResult::Failed;
    const gcry_error_t error = gcry_cipher_setkey(handle_, key.data(), key.size());
    if (error != 0 && gcry_err_code(error) != GPG_ERR_WEAK_KEY)
        return KeyResult::Failed;
    keyed_ = true;
    return error == 0 ? KeyResult::Ok : KeyResult::Weak;
}

bool BlockCipher::encrypt(std::span<std::uint8_t> blocks) const
{
    return run(blocks, true);
}

bool BlockCipher::decrypt(std::span<std::uint8_t> blocks) const
{
    return run(blocks, false);
}

bool BlockCipher::run(std::span<std::uint8_t> blocks, bool encrypting) const
{
    if (!keyed_ || blocks.size() % blockSize() != 0)
        return false;
    if (blocks.empty())
        return true;
    const bool swapped = cipher_ == Cipher::Blowfish;
    if (swapped)
        swapWords(blocks);
    const gcry_error_t error = encrypting ? gcry_cipher_encrypt(handle_, blocks.data(), blocks.size(), nullptr, 0)
                                          : gcry_cipher_decrypt(handle_, blocks.data(), blocks.size(), nullptr, 0);
    if (swapped)
        swapWords(blocks);
    return error == 0;
}

}  // namespace kx::crypto
