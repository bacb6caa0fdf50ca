// SCSI pass-through: the INQUIRY a disk answers with its identity.
#include <algorithm>
#include <cstring>

#include "devices/ioctl_handlers.h"
#include "platform/win_api.h"

namespace win::detail {

namespace {

constexpr std::size_t kInquiryLength = 36;

void padded(std::uint8_t* out, const std::string& text, std::size_t width)
{
    std::memset(out, ' ', width);
    std::memcpy(out, text.data(), std::min(width, text.size()));
}

void standardInquiry(const machine::Disk& disk, std::uint8_t* data)
{
    std::memset(data, 0, kInquiryLength);
    data[0] = 0x00;                          // direct-access block device
    data[1] = disk.removable ? 0x80 : 0x00;  // RMB
    data[2] = 0x04;                          // SPC-2
    data[3] = 0x02;                          // response data format
    data[4] = kInquiryLength - 5;
    padded(data + 8, disk.vendor, 8);
    padded(data + 16, disk.product, 16);
    padded(data + 32, disk.revision, 4);
}

}  // namespace

BOOL scsiPassThrough(IoctlCall& call)
{
    // Pass-through needs a handle with read and write access, as on Windows.
    if (!call.device.canRead() || !call.device.canWrite())
        return failIoctl(ERROR_ACCESS_DENIED);
    if (!call.in || !call.out || call.inSize < sizeof(SCSI_PASS_THROUGH) || call.outSize < sizeof(SCSI_PASS_THROUGH))
        return failIoctl(ERROR_INVALID_PARAMETER);
    SCSI_PASS_THROUGH spt;
    std::memcpy(&spt, call.in, sizeof spt);
    if (spt.Length != sizeof(SCSI_PASS_THROUGH) || spt.CdbLength == 0 || spt.CdbLength > 16)
        return failIoctl(ERROR_INVALID_PARAMETER);
    const std::uint64_t dataEnd = std::uint64_t(spt.DataBufferOffset) + spt.DataTransferLength;
    if (spt.DataTransferLength && (spt.DataBufferOffset < sizeof spt || dataEnd > call.outSize))
        return failIoctl(ERROR_INVALID_PARAMETER);
    if (spt.SenseInfoLength &&
        (spt.SenseInfoOffset < sizeof spt || std::uint64_t(spt.SenseInfoOffset) + spt.SenseInfoLength > call.outSize))
        return failIoctl(ERROR_INVALID_PARAMETER);

    auto* out = static_cast<std::uint8_t*>(call.out);
    if (call.out != call.in)
        std::memcpy(out, call.in, std::min(call.inSize, call.outSize));
    DWORD moved = 0;
    if (spt.Cdb[0] == SCSIOP_INQUIRY && spt.DataIn == SCSI_IOCTL_DATA_IN && !(spt.Cdb[1] & 0x01)) {
        std::uint8_t data[kInquiryLength];
        standardInquiry(call.disk, data);
        moved = static_cast<DWORD>(std::min<std::size_t>({kInquiryLength, spt.Cdb[4], spt.DataTransferLength}));
        std::memcpy(out + spt.DataBufferOffset, data, moved);
        spt.ScsiStatus = 0;
    } else {
        // Anything else: CHECK CONDITION, ILLEGAL REQUEST, INVALID COMMAND OPERATION CODE.
        spt.ScsiStatus = 0x02;
        if (spt.SenseInfoLength >= 14) {
            std::uint8_t* sense = out + spt.SenseInfoOffset;
            std::memset(sense, 0, spt.SenseInfoLength);
            sense[0] = 0x70;
            sense[2] = 0x05;
            sense[7] = 10;
            sense[12] = 0x20;
        }
    }
    spt.DataTransferLength = moved;
    std::memcpy(out, &spt, sizeof spt);
    *call.returned = spt.DataBufferOffset + moved;
    return TRUE;
}

}  // namespace win::detail
