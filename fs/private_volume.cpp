#include "fs/private_volume.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "windev/pedwin_crypt_driver.h"
#include "fs/fat_writer.h"
#include "fs/pedfilesys.h"
#include "fs/pedfilesys_format.h"
#include "common/kx_random_source.h"

namespace kx {

namespace {

constexpr std::size_t kFillChunk = 1 << 20;
constexpr std::uint64_t kUnit = crypto::dataUnitSize;

int resultOf(crypto::HeaderError error)
{
    switch (error) {
    case crypto::HeaderError::None:
        return kVolumeOk;
    case crypto::HeaderError::BadPassword:
        return kVolumeBadPassword;
    case crypto::HeaderError::BadVolumeSize:
        return kVolumeBadSize;
    default:
        return kVolumeOsError;
    }
}

// Writes plain data units encrypted at their place: data unit n at byte
// 512 + n * 512 of the partition, after the header.
class EncryptedWriter {
public:
    EncryptedWriter(const VolumeHandle& volume, const crypto::VolumeCipher& cipher) : volume_(volume), cipher_(cipher)
    {
    }

    int write(std::uint64_t firstUnit, std::span<const std::uint8_t> plain)
    {
        buffer_.assign(plain.begin(), plain.end());
        if (!cipher_.encryptData(firstUnit, buffer_))
            return kVolumeOsError;
        return volume_.writeAt(crypto::headerSize + firstUnit * kUnit, buffer_.data(),
                               static_cast<win::DWORD>(buffer_.size()));
    }

private:
    const VolumeHandle& volume_;
    const crypto::VolumeCipher& cipher_;
    std::vector<std::uint8_t> buffer_;
};

// A full format leaves no old data in the clear: every data unit is written.
int fill(EncryptedWriter& out, std::uint64_t units)
{
    const std::vector<std::uint8_t> zeros(kFillChunk, 0);
    for (std::uint64_t unit = 0; unit < units;) {
        const std::uint64_t count = std::min<std::uint64_t>(kFillChunk / kUnit, units - unit);
        if (const int r = out.write(unit, std::span(zeros).first(count * kUnit)); r != kVolumeOk)
            return r;
        unit += count;
        setFormatProgress(static_cast<int>(unit * 99 / units));
    }
    return kVolumeOk;
}

std::uint32_t volumeId()
{
    std::uint32_t id = 0;
    std::uint8_t bytes[4] = {};
    if (poolRandomSource()(bytes))
        id = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (std::uint32_t{bytes[3]} << 24);
    return id ? id : win::GetTickCount();
}

// 0 (the default), or a power of two from 512 to 32768, as for FAT.
bool ntfsClusterSize(std::uint32_t bytes)
{
    return bytes == 0 || (bytes >= 512 && bytes <= 32768 && (bytes & (bytes - 1)) == 0);
}

}  // namespace

int lastFreeDrive()
{
    const win::DWORD used = win::GetLogicalDrives();
    for (int drive = 'Z' - 'A'; drive >= 'D' - 'A'; --drive)
        if (!(used & (1u << drive)))
            return drive;
    return -1;
}

int createPrivateVolume(const PrivateVolumeRequest& request, bool viaDosName)
{
    const std::uint64_t volumeSize = request.size / kUnit * kUnit;
    if (volumeSize < 2 * kUnit)
        return kVolumeBadSize;
    std::optional<fat::Layout> layout;
    if (request.innerCode == FS_FAT || request.innerCode == FS_FAT32) {
        layout = fat::plan(request.innerCode == FS_FAT32, volumeSize / kUnit - 1, request.clusterBytes);
        if (!layout)
            return kVolumeBadSize;
    } else if (request.innerCode == FS_NTFS) {
        // Checked before the header is written: the NTFS format comes last.
        if (!ntfsClusterSize(request.clusterBytes))
            return kVolumeBadSize;
        if (!cryptAttached())
            return kVolumeNoDriver;
        if (lastFreeDrive() < 0)
            return kVolumeNoLetter;
    }

    RandomPoolUse pool;
    if (!pool.running())
        return kVolumeOsError;
    {
        // Ours alone while it is written.
        VolumeHandle volume(request.path, 0, viaDosName);
        if (!volume.opened())
            return kVolumeHeld;
        setFormatProgress(0);
        crypto::CreateOptions options;
        options.volumeSize = volumeSize;
        crypto::CreateResult created = crypto::createHeader(passwordOf(*request.password), options, poolRandomSource());
        if (created.error != crypto::HeaderError::None)
            return resultOf(created.error);
        const int written = volume.writeAt(0, created.header.data(), crypto::headerSize);
        crypto::secureWipe(created.header);
        if (written != kVolumeOk)
            return written;

        EncryptedWriter out(volume, *created.volume->cipher);
        const int filled = request.quick ? kVolumeOk : fill(out, volumeSize / kUnit - 1);
        if (filled != kVolumeOk)
            return filled;
        if (layout) {
            int result = kVolumeOk;
            const fat::Identity identity{request.label, volumeId()};
            const bool done = fat::write(*layout, identity, [&](std::uint64_t sector, std::span<const std::uint8_t> s) {
                result = out.write(sector, s);
                return result == kVolumeOk;
            });
            if (!done)
                return result;
        }
    }
    return request.innerCode == FS_NTFS ? formatPrivateNtfs(request) : kVolumeOk;
}

}  // namespace kx
