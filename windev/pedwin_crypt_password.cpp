// Checking and changing a private volume's password: its header is read,
// opened with the old password and written again under the new one.
#include "windev/pedwin_crypt_volume.h"
#include "common/kx_random_source.h"
#include "platform/win_api.h"

namespace kx {

namespace {

int resultOf(crypto::HeaderError error)
{
    switch (error) {
    case crypto::HeaderError::None:
        return kVolumeOk;
    case crypto::HeaderError::WrongPassword:
        return kVolumeWrongPassword;
    case crypto::HeaderError::NewerProgramRequired:
        return kVolumeNewerProgram;
    case crypto::HeaderError::BadPassword:
        return kVolumeBadPassword;
    default:
        return kVolumeOsError;
    }
}

}  // namespace

int changeVolumePassword(const char* path, const PasswordRecord& oldPassword, const PasswordRecord& newPassword)
{
    VolumeHandle volume(path, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, true);
    if (!volume.opened())
        return kVolumeOsError;
    if (volume.device() && volume.size() == 0)
        return kVolumeNoSize;

    RandomPoolUse pool;
    if (!pool.running())
        return kVolumeOsError;
    crypto::HeaderBytes header{};
    if (!volume.readAt(0, header.data(), crypto::headerSize))
        return kVolumeNoSize;

    int writeResult = kVolumeOk;
    const auto write = [&](std::span<const std::uint8_t, crypto::headerSize> bytes, int) {
        writeResult = volume.writeAt(0, bytes.data(), crypto::headerSize);
        return writeResult == kVolumeOk;
    };
    const crypto::HeaderError error =
        crypto::changePassword(header, passwordOf(oldPassword), passwordOf(newPassword), poolRandomSource(), write);
    crypto::secureWipe(header);
    if (error == crypto::HeaderError::WriteFailed)
        return writeResult;
    return resultOf(error);
}

}  // namespace kx
