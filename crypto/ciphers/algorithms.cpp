#include "crypto/ciphers/algorithms.h"

#include <algorithm>

namespace kx::crypto {

namespace {

using C = Cipher;
using M = Mode;

constexpr EncryptionAlgorithm table[] = {
    {1, {C::Aes}, 1, {M::Lrw, M::Cbc}, 2, true},
    {2, {C::Blowfish}, 1, {M::Lrw, M::Cbc}, 2, false},
    {3, {C::Cast5}, 1, {M::Lrw, M::Cbc}, 2, false},
    {4, {C::Serpent}, 1, {M::Lrw, M::Cbc}, 2, true},
    {5, {C::TripleDes}, 1, {M::Lrw, M::Cbc}, 2, false},
    {6, {C::Twofish}, 1, {M::Lrw, M::Cbc}, 2, true},
    {7, {C::Twofish, C::Aes}, 2, {M::Lrw, M::OuterCbc}, 2, true},
    {8, {C::Serpent, C::Twofish, C::Aes}, 3, {M::Lrw, M::OuterCbc}, 2, true},
    {9, {C::Aes, C::Serpent}, 2, {M::Lrw, M::OuterCbc}, 2, true},
    {10, {C::Aes, C::Twofish, C::Serpent}, 3, {M::Lrw, M::OuterCbc}, 2, true},
    {11, {C::Serpent, C::Twofish}, 2, {M::Lrw, M::OuterCbc}, 2, true},
    {12, {C::Blowfish, C::Aes}, 2, {M::InnerCbc}, 1, false},
    {13, {C::Serpent, C::Blowfish, C::Aes}, 3, {M::InnerCbc}, 1, false},
};

}  // namespace

const char* modeName(Mode mode)
{
    switch (mode) {
    case Mode::Lrw: return "LRW";
    case Mode::Cbc: return "CBC";
    case Mode::OuterCbc: return "outer-CBC";
    case Mode::InnerCbc: return "inner-CBC";
    }
    return "?";
}

bool EncryptionAlgorithm::supports(Mode mode) const
{
    const auto list = modes();
    return std::find(list.begin(), list.end(), mode) != list.end();
}

std::size_t EncryptionAlgorithm::keySize() const
{
    std::size_t total = 0;
    for (Cipher c : ciphers())
        total += kx::crypto::keySize(c);
    return total;
}

std::size_t EncryptionAlgorithm::blockSize() const
{
    const std::size_t first = kx::crypto::blockSize(ciphers().front());
    for (Cipher c : ciphers())
        if (kx::crypto::blockSize(c) != first)
            return 0;
    return first;
}

std::span<const EncryptionAlgorithm> allAlgorithms()
{
    return table;
}

const EncryptionAlgorithm* findAlgorithm(int id)
{
    for (const EncryptionAlgorithm& algorithm : table)
        if (algorithm.id == id)
            return &algorithm;
    return nullptr;
}

std::size_t largestKeyMaterial()
{
    std::size_t largest = 0;
    for (const EncryptionAlgorithm& algorithm : table)
        largest = std::max(largest, algorithm.keySize());
    return secondaryKeySize + largest;
}

}  // namespace kx::crypto
