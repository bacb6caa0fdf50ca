// The user information block: bytes 216 to 435 of sector 0, four texts and
// a marker. Every other byte of the sector is written back as read.
#include <cstddef>
#include <cstring>

#include "arch/pedwin_disk_internal.h"
#include "common/kx_message.h"

namespace kx {

namespace {

constexpr std::size_t kBlockAt = 216;
constexpr std::size_t kMarkerAt = kBlockAt + sizeof(kx_user_info);
static_assert(sizeof(kx_user_info) == 216, "the block's texts fill 216 bytes");
static_assert(kMarkerAt + 4 == 436, "the block ends where the label's marker begins");

struct Field {
    std::size_t offset, size;
};
constexpr Field kFields[] = {{offsetof(kx_user_info, text1), sizeof(kx_user_info::text1)},
                             {offsetof(kx_user_info, text2), sizeof(kx_user_info::text2)},
                             {offsetof(kx_user_info, text3), sizeof(kx_user_info::text3)},
                             {offsetof(kx_user_info, text4), sizeof(kx_user_info::text4)}};

// Reads sector 0 of the disk behind the handle. A missing argument is
// reported under the caller's name.
bool readSectorZero(const Where& at, kx_disk* disk, const kx_user_info* user, unsigned char (&sector)[512],
                    PedWinDev** entry)
{
    if (!disk || !user) {
        report(at, "disk != NULL && user != NULL");
        return false;
    }
    *entry = entryOfDisk(disk);
    if (!*entry || !(*entry)->peddev)
        return false;
    std::memset(sector, 0, sizeof sector);
    return PedWinDeviceGetDataRaw((*entry)->peddev, sector, sizeof sector, 0, 0) == 1;
}

}  // namespace

int PedWinDeviceGetUserInfo(kx_disk* disk, kx_user_info* user)
{
    unsigned char sector[512];
    PedWinDev* entry = nullptr;
    if (!readSectorZero(KX_HERE(source::pedWinBase), disk, user, sector, &entry))
        return 0;
    const bool valid = std::memcmp(sector + kMarkerAt, "\xFF\xFF\xFF\xFF", 4) == 0;
    auto* out = reinterpret_cast<unsigned char*>(user);
    for (const Field& f : kFields) {
        std::memset(out + f.offset, 0, f.size);
        if (valid) {
            std::memcpy(out + f.offset, sector + kBlockAt + f.offset, f.size);
            out[f.offset + f.size - 1] = 0;
        }
    }
    return 1;
}

int PedWinDeviceSetUserInfo(kx_disk* disk, const kx_user_info* user)
{
    unsigned char sector[512];
    PedWinDev* entry = nullptr;
    if (!readSectorZero(KX_HERE(source::pedWinBase), disk, user, sector, &entry))
        return 0;
    const auto* in = reinterpret_cast<const char*>(user);
    for (const Field& f : kFields) {
        // The caller's field need not be terminated: never read past it.
        unsigned char* to = sector + kBlockAt + f.offset;
        std::memset(to, 0, f.size);
        std::memcpy(to, in + f.offset, strnlen(in + f.offset, f.size));
    }
    std::memset(sector + kMarkerAt, 0xFF, 4);
    return PedWinDeviceSetDataRaw(entry->peddev, sector, sizeof sector, 0, 0);
}

}  // namespace kx
