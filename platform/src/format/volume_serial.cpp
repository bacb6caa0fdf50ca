#include "format/volume_serial.h"

#include <sys/random.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace win::detail {

namespace {

constexpr std::uint64_t kSector = 512;

bool readSector(int fd, std::uint64_t at, std::array<std::uint8_t, kSector>& sector)
{
    return ::pread(fd, sector.data(), kSector, static_cast<off_t>(at)) == static_cast<ssize_t>(kSector);
}

bool writeSector(int fd, std::uint64_t at, const std::array<std::uint8_t, kSector>& sector)
{
    return ::pwrite(fd, sector.data(), kSector, static_cast<off_t>(at)) == static_cast<ssize_t>(kSector);
}

std::uint64_t little64(const std::uint8_t* p)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

}  // namespace

bool giveFreshSerial(int fd, machine::FileSystemKind kind, std::uint64_t bytes)
{
    std::array<std::uint8_t, kSector> boot{};
    if (!readSector(fd, 0, boot))
        return false;
    std::array<std::uint8_t, 8> serial{};
    if (::getrandom(serial.data(), serial.size(), 0) != static_cast<ssize_t>(serial.size()))
        return false;
    const bool ntfs = kind == machine::FileSystemKind::Ntfs;
    // NTFS: 8 bytes at 0x48; FAT32 4 bytes at 0x43; FAT12/16 4 bytes at 0x27.
    const std::size_t at = ntfs ? 0x48 : kind == machine::FileSystemKind::Fat32 ? 0x43 : 0x27;
    const std::size_t size = ntfs ? 8 : 4;
    // The backup boot sector: NTFS at the volume's last sector, FAT32 at sector 6.
    std::uint64_t backupAt = ntfs ? little64(boot.data() + 0x28) * kSector : kind == machine::FileSystemKind::Fat32 ? 6 * kSector : 0;
    std::array<std::uint8_t, kSector> backup{};
    const bool hasBackup = backupAt != 0 && backupAt + kSector <= bytes && readSector(fd, backupAt, backup) && backup == boot;
    std::memcpy(boot.data() + at, serial.data(), size);
    if (!writeSector(fd, 0, boot))
        return false;
    return !hasBackup || writeSector(fd, backupAt, boot);
}

}  // namespace win::detail
