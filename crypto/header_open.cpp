#include <algorithm>

#include "crypto/header_seal.h"
#include "crypto/volume_keys.h"

namespace kx::crypto {

namespace {

// The header decrypts under this algorithm and mode: magic and CRC hold.
bool opensWith(const EncryptionAlgorithm& algorithm, Mode mode, std::span<const std::uint8_t> headerKey,
               std::span<const std::uint8_t, headerSize> header, PlainHeader& plain)
{
    const auto cipher = VolumeCipher::create(algorithm, mode, headerKey.first(secondaryKeySize + algorithm.keySize()));
    if (!cipher)
        return false;
    std::ranges::copy(header, plain.bytes().begin());
    if (!cipher->decryptHeaderArea(header::EncryptedArea::in(plain.bytes())))
        return false;
    return plain.hasMagic() && plain.keyAreaIntact();
}

OpenResult opened(const EncryptionAlgorithm& algorithm, Mode mode, Prf prf, const PlainHeader& plain)
{
    OpenResult result;
    OpenedVolume volume;
    volume.algorithm = &algorithm;
    volume.mode = mode;
    volume.prf = prf;
    volume.fields = plain.fields();
    if (volume.fields.requiredProgramVersion > header::newestReadableProgramVersion) {
        result.error = HeaderError::NewerProgramRequired;
        return result;
    }
    volume.keyArea = SecureBytes(header::KeyArea::view(plain.bytes()));
    volume.cipher = VolumeCipher::create(algorithm, mode, volume.keyArea.span());
    if (!volume.cipher) {
        result.error = HeaderError::CipherFailed;
        return result;
    }
    volume.weakKey = volume.cipher->weakKey();
    result.error = HeaderError::None;
    result.volume = std::move(volume);
    return result;
}

}  // namespace

OpenResult openHeader(PasswordView password, std::span<const std::uint8_t, headerSize> header)
{
    OpenResult result;
    if (!validPassword(password)) {
        result.error = HeaderError::BadPassword;
        return result;
    }
    const auto salt = header::Salt::view(header);
    SecureBytes headerKey(largestKeyMaterial());
    PlainHeader plain;
    for (Prf prf : allPrfs) {
        if (!pbkdf2(prf, password, salt, headerIterations(prf), headerKey.span())) {
            result.error = HeaderError::CipherFailed;
            return result;
        }
        for (const EncryptionAlgorithm& algorithm : allAlgorithms())
            for (Mode mode : algorithm.modes())
                if (opensWith(algorithm, mode, headerKey.span(), header, plain))
                    return opened(algorithm, mode, prf, plain);
    }
    return result;
}

}  // namespace kx::crypto
