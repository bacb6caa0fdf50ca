#include "crypto/header_seal.h"

#include <algorithm>

namespace kx::crypto {

bool validPassword(PasswordView password)
{
    return !password.empty() && password.size() <= maxPasswordSize;
}

void layOutHeader(const OpenedVolume& volume, PlainHeader& plain)
{
    plain.setFields(volume.fields);
    std::ranges::copy(volume.keyArea.span(), header::KeyArea::in(plain.bytes()).begin());
}

HeaderError sealHeader(PasswordView password, const OpenedVolume& volume, PlainHeader& plain,
                       const RandomSource& random, HeaderBytes& out)
{
    const auto salt = header::Salt::in(plain.bytes());
    if (!random || !random(salt))
        return HeaderError::RandomFailed;
    const EncryptionAlgorithm& algorithm = *volume.algorithm;
    SecureBytes headerKey(secondaryKeySize + algorithm.keySize());
    if (!pbkdf2(volume.prf, password, salt, headerIterations(volume.prf), headerKey.span()))
        return HeaderError::CipherFailed;
    const auto cipher = VolumeCipher::create(algorithm, volume.mode, headerKey.span());
    if (!cipher)
        return HeaderError::CipherFailed;

    SecureBytes sealed(plain.bytes());
    const auto area = sealed.span().subspan(header::EncryptedArea::offset, header::EncryptedArea::size);
    if (!cipher->encryptHeaderArea(area))
        return HeaderError::CipherFailed;
    std::ranges::copy(sealed.span(), out.begin());
    return HeaderError::None;
}

}  // namespace kx::crypto
