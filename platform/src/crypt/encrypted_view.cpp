#include "crypt/encrypted_view.h"

#include <vector>

#include "crypt/crypt_keys.h"
#include "crypto/volume_keys.h"

namespace win::detail {

namespace {

constexpr std::uint64_t kUnit = kx::crypto::dataUnitSize;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool keyAreaBytes(const std::string& text, kx::crypto::SecureBytes& out)
{
    if (text.size() != 2 * out.size())
        return false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int hi = hexDigit(text[2 * i]), lo = hexDigit(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.data()[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return true;
}

}  // namespace

std::string keyAreaText(std::span<const std::uint8_t> keyArea)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(keyArea.size() * 2);
    for (std::uint8_t b : keyArea) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::unique_ptr<EncryptedView> EncryptedView::create(const machine::Machine& m, const machine::CryptVolume& volume)
{
    const auto* algorithm = kx::crypto::findAlgorithm(volume.algorithm);
    kx::crypto::SecureBytes keys(kx::crypto::header::KeyArea::size);
    // Records of older machines carry their keys; newer ones keep them apart.
    const bool keysHad = volume.keyArea.empty() ? loadVolumeKeys(m, volume.mountStamp, keys.span())
                                                : keyAreaBytes(volume.keyArea, keys);
    // The data area starts right after the one-sector header; the ciphers
    // number their units from there.
    if (!algorithm || volume.mode < 1 || volume.mode > 4 || volume.dataOffset != kx::crypto::headerSize || !keysHad)
        return nullptr;
    std::unique_ptr<EncryptedView> view(new EncryptedView);
    view->cipher_ = kx::crypto::VolumeCipher::create(*algorithm, static_cast<kx::crypto::Mode>(volume.mode), keys.span());
    if (!view->cipher_)
        return nullptr;
    view->diskOffset_ = volume.partitionOffset + volume.dataOffset;
    view->length_ = volume.dataLength;
    return view;
}

EncryptedView::~EncryptedView() = default;

bool EncryptedView::decrypt(std::uint64_t at, std::span<std::uint8_t> data) const
{
    if (at % kUnit || data.size() % kUnit)
        return false;
    std::lock_guard guard(mutex_);
    return cipher_->decryptData(at / kUnit, data);
}

bool EncryptedView::encrypt(std::uint64_t at, std::span<std::uint8_t> data) const
{
    if (at % kUnit || data.size() % kUnit)
        return false;
    std::lock_guard guard(mutex_);
    return cipher_->encryptData(at / kUnit, data);
}

PartitionReader EncryptedView::reader(int fd) const
{
    return PartitionReader(
        [this, fd](std::uint64_t at, void* out, std::size_t size) {
            const std::uint64_t first = at / kUnit * kUnit;
            const std::uint64_t end = (at + size + kUnit - 1) / kUnit * kUnit;
            std::vector<std::uint8_t> units(end - first);
            const PartitionReader raw(fd, diskOffset_, length_);
            if (!raw.read(first, units.data(), units.size()) || !decrypt(first, units))
                return false;
            std::memcpy(out, units.data() + (at - first), size);
            kx::crypto::secureWipe(units);
            return true;
        },
        length_);
}

}  // namespace win::detail
