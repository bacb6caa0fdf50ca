#include "crypto/ciphers/cipher_stack.h"

namespace kx::crypto {

std::optional<CipherStack> CipherStack::create(const EncryptionAlgorithm& algorithm,
                                               std::span<const std::uint8_t> keys, bool& weakKey)
{
    weakKey = false;
    if (keys.size() != algorithm.keySize())
        return std::nullopt;
    CipherStack stack;
    stack.blockSize_ = algorithm.blockSize();
    stack.ciphers_.reserve(algorithm.ciphers().size());
    std::size_t offset = 0;
    for (Cipher c : algorithm.ciphers()) {
        BlockCipher& cipher = stack.ciphers_.emplace_back(c);
        const KeyResult result = cipher.setKey(keys.subspan(offset, keySize(c)));
        if (result == KeyResult::Failed)
            return std::nullopt;
        weakKey = weakKey || result == KeyResult::Weak;
        offset += keySize(c);
    }
    return stack;
}

bool CipherStack::encrypt(std::span<std::uint8_t> blocks) const
{
    for (const BlockCipher& cipher : ciphers_)
        if (!cipher.encrypt(blocks))
            return false;
    return true;
}

bool CipherStack::decrypt(std::span<std::uint8_t> blocks) const
{
    for (auto it = ciphers_.rbegin(); it != ciphers_.rend(); ++it)
        if (!it->decrypt(blocks))
            return false;
    return true;
}

}  // namespace kx::crypto
