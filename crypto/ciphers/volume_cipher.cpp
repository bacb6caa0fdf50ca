#include "crypto/ciphers/volume_cipher.h"

#include <limits>

#include "crypto/ciphers/legacy_cbc.h"

namespace kx::crypto {

std::unique_ptr<VolumeCipher> VolumeCipher::create(const EncryptionAlgorithm& algorithm, Mode mode,
                                                   std::span<const std::uint8_t> keyMaterial)
{
    if (!algorithm.supports(mode) || keyMaterial.size() < secondaryKeySize + algorithm.keySize())
        return nullptr;
    bool weak = false;
    std::optional<CipherStack> stack =
        CipherStack::create(algorithm, keyMaterial.subspan(secondaryKeySize, algorithm.keySize()), weak);
    if (!stack)
        return nullptr;
    std::unique_ptr<VolumeCipher> cipher(
        new VolumeCipher(algorithm, mode, std::move(*stack), keyMaterial.first(secondaryKeySize)));
    cipher->weakKey_ = weak;
    return cipher;
}

VolumeCipher::VolumeCipher(const EncryptionAlgorithm& algorithm, Mode mode, CipherStack stack,
                           std::span<const std::uint8_t> secondary)
    : algorithm_(algorithm), mode_(mode), stack_(std::move(stack)), secondary_(secondary)
{
    if (mode == Mode::Lrw)
        tweaks_.emplace(stack_.blockSize(), secondary);
}

std::span<const std::uint8_t, secondaryKeySize> VolumeCipher::secondary() const
{
    return secondary_.span().first<secondaryKeySize>();
}

bool VolumeCipher::encryptHeaderArea(std::span<std::uint8_t> area) const
{
    return header(area, true);
}

bool VolumeCipher::decryptHeaderArea(std::span<std::uint8_t> area) const
{
    return header(area, false);
}

bool VolumeCipher::encryptData(std::uint64_t firstUnit, std::span<std::uint8_t> data) const
{
    return units(firstUnit, data, true);
}

bool VolumeCipher::decryptData(std::uint64_t firstUnit, std::span<std::uint8_t> data) const
{
    return units(firstUnit, data, false);
}

bool VolumeCipher::header(std::span<std::uint8_t> area, bool encrypting) const
{
    // The header's block index counts from 1 at the start of the area.
    if (mode_ == Mode::Lrw)
        return lrwApply(stack_, *tweaks_, 1, area, encrypting);
    return cbc(area, std::nullopt, encrypting);
}

bool VolumeCipher::units(std::uint64_t firstUnit, std::span<std::uint8_t> data, bool encrypting) const
{
    if (data.size() % dataUnitSize != 0)
        return false;
    const std::uint64_t count = data.size() / dataUnitSize;
    // The CBC modes number sectors from the volume's start: data unit n is
    // sector n + 1, and every sector number must fit 64 bits.
    if (count > 0 && firstUnit > std::numeric_limits<std::uint64_t>::max() - count)
        return false;
    if (mode_ == Mode::Lrw) {
        // LRW numbers blocks from the data area's start, counting from 1:
        // the header's own area was block 1 of another numbering.
        const std::size_t perUnit = dataUnitSize / stack_.blockSize();
        return lrwApply(stack_, *tweaks_, BlockIndex{firstUnit} * perUnit + 1, data, encrypting);
    }
    for (std::uint64_t i = 0; i < count; ++i)
        if (!cbc(data.subspan(i * dataUnitSize, dataUnitSize), firstUnit + i + 1, encrypting))
            return false;
    return true;
}

bool VolumeCipher::cbc(std::span<std::uint8_t> data, std::optional<std::uint64_t> sector, bool encrypting) const
{
    auto seedFor = [&](std::size_t blockSize) {
        return sector ? sectorCbcSeed(secondary(), blockSize, *sector) : headerCbcSeed(secondary(), blockSize);
    };
    if (mode_ != Mode::InnerCbc) {
        const CbcSeed seed = seedFor(stack_.blockSize());
        return cbcApply(stack_, stack_.blockSize(), seed, data, encrypting);
    }
    // Inner CBC: each cipher chains on its own, with its own block size.
    const auto ciphers = stack_.ciphers();
    for (std::size_t n = 0; n < ciphers.size(); ++n) {
        const BlockCipher& cipher = ciphers[encrypting ? n : ciphers.size() - 1 - n];
        const CbcSeed seed = seedFor(cipher.blockSize());
        if (!cbcApply(cipher, cipher.blockSize(), seed, data, encrypting))
            return false;
    }
    return true;
}

}  // namespace kx::crypto
