// Byte-exact transfers at a sector and offset of a device record.
#include "arch/pedwinbase.h"
#include "parted/kx_message.h"
#include "platform/win_api.h"

namespace kx {

namespace {

// Opens the record, positions its handle, lets transfer move the bytes,
// and closes it again on every path.
template <typename Transfer>
int atPosition(PedDevice* dev, std::uint64_t sector, std::int32_t offset, Transfer transfer)
{
    if (!ped_device_open(dev))
        return 0;
    win::LARGE_INTEGER at{};
    at.QuadPart = static_cast<std::int64_t>(sector * dev->sector_size) + offset;
    int done = 0;
    if (!win::SetFilePointerEx(*dev->handle, at, nullptr, win::FILE_BEGIN))
        kx_printf("Fail to SetFilePointerEx()");
    else
        done = transfer(*dev->handle);
    ped_device_close(dev);
    return done;
}

}  // namespace

int PedWinDeviceGetDataRaw(PedDevice* dev, void* buffer, std::uint32_t length, std::uint64_t sector,
                           std::int32_t offset)
{
    if (!dev || !buffer) {
        KX_REPORT(source::pedWinBase, "dev != NULL && buffer != NULL");
        return 0;
    }
    return atPosition(dev, sector, offset, [&](win::HANDLE h) {
        win::DWORD moved = 0;
        if (!win::ReadFile(h, buffer, length, &moved, nullptr) || moved != length) {
            kx_printf("Fail to ReadFile()");
            return 0;
        }
        return 1;
    });
}

int PedWinDeviceSetDataRaw(PedDevice* dev, const void* buffer, std::uint32_t length, std::uint64_t sector,
                           std::int32_t offset)
{
    if (!dev || !buffer) {
        KX_REPORT(source::pedWinBase, "dev != NULL && buffer != NULL");
        return 0;
    }
    return atPosition(dev, sector, offset, [&](win::HANDLE h) {
        win::DWORD moved = 0;
        if (!win::WriteFile(h, buffer, length, &moved, nullptr) || moved != length) {
            kx_printf("Fail to WriteFile()");
            return 0;
        }
        return 1;
    });
}

}  // namespace kx
