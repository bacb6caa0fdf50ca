#include <algorithm>

#include "crypto/crc32.h"
#include "crypto/header_seal.h"
#include "crypto/volume_keys.h"

namespace kx::crypto {

namespace {

// Random master keys; a weak DES key is drawn again.
HeaderError makeKeys(OpenedVolume& volume, const RandomSource& random)
{
    volume.keyArea = SecureBytes(header::KeyArea::size);
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (!random(volume.keyArea.span()))
            return HeaderError::RandomFailed;
        volume.cipher = VolumeCipher::create(*volume.algorithm, volume.mode, volume.keyArea.span());
        if (!volume.cipher)
            return HeaderError::CipherFailed;
        if (!volume.cipher->weakKey())
            return HeaderError::None;
    }
    return HeaderError::RandomFailed;
}

}  // namespace

const char* headerErrorText(HeaderError error)
{
    switch (error) {
    case HeaderError::None: return "success";
    case HeaderError::WrongPassword: return "wrong password or not a volume";
    case HeaderError::NewerProgramRequired: return "volume needs a newer program";
    case HeaderError::BadPassword: return "password empty or too long";
    case HeaderError::Unsupported: return "unsupported algorithm, mode or PRF";
    case HeaderError::BadVolumeSize: return "bad volume size";
    case HeaderError::RandomFailed: return "random source failed";
    case HeaderError::CipherFailed: return "cipher failure";
    case HeaderError::WriteFailed: return "header write failed";
    }
    return "?";
}

CreateResult createHeader(PasswordView password, const CreateOptions& options, const RandomSource& random)
{
    CreateResult result;
    const EncryptionAlgorithm* algorithm = findAlgorithm(options.algorithm);
    const bool known = algorithm && algorithm->supports(options.mode) && prfFromId(static_cast<int>(options.prf));
    if (!known || (!options.allowLegacy && (!algorithm->creatable || options.mode != Mode::Lrw))) {
        result.error = HeaderError::Unsupported;
        return result;
    }
    if (!validPassword(password)) {
        result.error = HeaderError::BadPassword;
        return result;
    }
    // The header and at least one data unit, in whole units.
    if (options.volumeSize < 2 * dataUnitSize || options.volumeSize % dataUnitSize != 0) {
        result.error = HeaderError::BadVolumeSize;
        return result;
    }
    if (!random) {
        result.error = HeaderError::RandomFailed;
        return result;
    }

    OpenedVolume volume;
    volume.algorithm = algorithm;
    volume.mode = options.mode;
    volume.prf = options.prf;
    if ((result.error = makeKeys(volume, random)) != HeaderError::None)
        return result;
    const std::uint64_t now = options.now.value_or(fileTimeNow());
    volume.fields.creationTime = now;
    volume.fields.modificationTime = now;
    // A version 2 header has no size field: the volume is its partition.
    volume.fields.keyAreaCrc = crc32(volume.keyArea.span());

    PlainHeader plain;
    layOutHeader(volume, plain);
    if ((result.error = sealHeader(password, volume, plain, random, result.header)) == HeaderError::None)
        result.volume = std::move(volume);
    return result;
}

HeaderError changePassword(std::span<const std::uint8_t, headerSize> header, PasswordView oldPassword,
                           PasswordView newPassword, const RandomSource& random, const HeaderWriter& write,
                           std::optional<std::uint64_t> now)
{
    if (!validPassword(newPassword))
        return HeaderError::BadPassword;
    OpenResult opened = openHeader(oldPassword, header);
    if (opened.error != HeaderError::None)
        return opened.error;
    OpenedVolume& volume = *opened.volume;
    volume.fields.modificationTime = now.value_or(fileTimeNow());

    PlainHeader plain;
    layOutHeader(volume, plain);
    HeaderBytes sealed;
    for (int pass = 1; pass <= headerRewritePasses; ++pass) {
        const HeaderError error = sealHeader(newPassword, volume, plain, random, sealed);
        if (error != HeaderError::None)
            return error;
        if (!write || !write(sealed, pass))
            return HeaderError::WriteFailed;
    }
    return HeaderError::None;
}

}  // namespace kx::crypto
