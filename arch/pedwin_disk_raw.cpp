// Byte-exact transfers at a sector and offset of a device record.
#include "arch/pedwinbase.h"
#include "common/kx_message.h"
#include "platform/win_api.h"

namespace kx {

namespace {

// Opens the record, positions its handle, moves all length bytes with io
// (ReadFile or WriteFile), and closes it again on every path. A missing
// argument is reported under the caller's name.
template <typename Buffer, typename Io>
int transferAt(const Where& at, PedDevice* dev, Buffer* buffer, std::uint32_t length, std::uint64_t sector,
               std::int32_t offset, Io io, const char* failure)
{
    if (!dev || !buffer) {
        report(at, "dev != NULL && buffer != NULL");
        return 0;
    }
    if (!ped_device_open(dev))
        return 0;
    win::LARGE_INTEGER position{};
    position.QuadPart = static_cast<std::int64_t>(sector * dev->sector_size) + offset;
    int done = 0;
    win::DWORD moved = 0;
    if (!win::SetFilePointerEx(*dev->handle, position, nullptr, win::FILE_BEGIN))
        kx_printf("Fail to SetFilePointerEx()");
    else if (!io(*dev->handle, buffer, length, &moved, nullptr) || moved != length)
        kx_printf("%s", failure);
    else
        done = 1;
    ped_device_close(dev);
    return done;
}

}  // namespace

int PedWinDeviceGetDataRaw(PedDevice* dev, void* buffer, std::uint32_t length, std::uint64_t sector,
                           std::int32_t offset)
{
    return transferAt(KX_HERE(source::pedWinBase), dev, buffer, length, sector, offset, win::ReadFile,
                      "Fail to ReadFile()");
}

int PedWinDeviceSetDataRaw(PedDevice* dev, const void* buffer, std::uint32_t length, std::uint64_t sector,
                           std::int32_t offset)
{
    return transferAt(KX_HERE(source::pedWinBase), dev, buffer, length, sector, offset, win::WriteFile,
                      "Fail to WriteFile()");
}

}  // namespace kx
