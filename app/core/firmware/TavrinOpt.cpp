#include "app/core/firmware/TavrinOpt.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "app/core/checksums/Checksums.h"
#include "app/core/log/ComnLog.h"
#include "app/core/support/ScopedHandle.h"
#include "app/core/support/WideText.h"
#include "platform/win_api.h"

namespace {

int Signed(std::uint32_t value) { return static_cast<int>(value); }

// Another program's look at the disk (a device search of another process
// reads it) holds it for a moment: an open for our sole use waits that out,
// for up to two seconds, before it counts as failed.
win::HANDLE OpenForSoleUse(const std::u16string& drivePath, win::DWORD access, win::DWORD flags)
{
    for (int attempt = 0;; ++attempt) {
        const win::HANDLE h = win::CreateFileW(drivePath.c_str(), access, 0, nullptr, win::OPEN_EXISTING, flags, nullptr);
        if (h != win::INVALID_HANDLE_VALUE || win::GetLastError() != win::ERROR_SHARING_VIOLATION || attempt == 40)
            return h;
        win::Sleep(50);
    }
}

}  // namespace

int CTavrinOpt::GetPhysicalDrivePath(std::u16string& drivePath, const char16_t* pDevPath)
{
    constexpr std::u16string_view kPrefix = u"\\Device\\Harddisk";
    constexpr std::u16string_view kSuffix = u"\\Partition0";
    if (!pDevPath)
        return 1;
    std::u16string_view path = pDevPath;
    // The whole path must be the whole-disk pattern: a partition or trailing
    // text would otherwise still name a disk to write.
    if (!path.starts_with(kPrefix) || !path.ends_with(kSuffix) || path.size() <= kPrefix.size() + kSuffix.size())
        return 1;
    const std::u16string_view digits = path.substr(kPrefix.size(), path.size() - kPrefix.size() - kSuffix.size());
    if (digits.size() > 6)
        return 1;
    int number = 0;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9')
            return 1;
        number = number * 10 + (c - u'0');
    }
    if (number < 1)  // disk 0 holds the system and is never touched here
        return 1;
    const std::string text = "\\\\.\\PhysicalDrive" + std::to_string(number);
    drivePath.assign(text.begin(), text.end());
    return 0;
}

std::uint32_t CTavrinOpt::CalcCrc16(const std::uint8_t* data, std::size_t count) { return ::CalcCrc16(data, count); }

int CTavrinOpt::ReadString(const char16_t* pDevPath, std::uint32_t nOffset, ByteBuffer& buffer,
                           std::uint32_t nCount, std::uint32_t* pRead)
{
    buffer.clear();
    ByteBuffer data;
    // Every byte is read over or the buffer is dropped: no zeroing first.
    data.resize(nCount);
    if (int nRet = ReadInto(pDevPath, nOffset, data.data(), nCount, pRead); nRet != 0)
        return nRet;
    buffer = std::move(data);
    return 0;
}

int CTavrinOpt::ReadInto(const char16_t* pDevPath, std::uint32_t nOffset, std::uint8_t* pData, std::uint32_t nCount,
                         std::uint32_t* pRead)
{
    if (pRead)
        *pRead = 0;
    std::u16string drivePath;
    if (GetPhysicalDrivePath(drivePath, pDevPath) != 0) {
        COMN_LOG("%s : %s : %d device path refused! pDevPath: %s", WideToUtf8(pDevPath).c_str());
        return kDevicePathRefused;
    }
    ScopedHandle device(OpenForSoleUse(drivePath, win::GENERIC_READ, win::FILE_ATTRIBUTE_NORMAL));
    if (!device.IsValid()) {
        COMN_LOG("%s : %s : %d open device fail! pDevPath: %s", WideToUtf8(pDevPath).c_str());
        return kDeviceNotOpened;
    }
    win::OVERLAPPED overlapped{};
    overlapped.Offset = nOffset;
    win::DWORD nRead = 0;
    if (!win::ReadFile(device.Get(), pData, nCount, &nRead, &overlapped)) {
        const win::DWORD nErrorFlag = win::GetLastError();
        COMN_LOG("%s : %s : %d Read device fail! pDevPath: %s, nErrorFlag:%d", WideToUtf8(pDevPath).c_str(),
                 Signed(nErrorFlag));
        return kDeviceReadFailed;
    }
    if (pRead)
        *pRead = nRead;
    if (nRead < nCount) {
        COMN_LOG("%s : %s : %d Read device size error ! pDevPath: %s, hope size:%d, read size:%d",
                 WideToUtf8(pDevPath).c_str(), Signed(nCount), Signed(nRead));
        return kDeviceTransferShort;
    }
    return 0;
}

int CTavrinOpt::WriteString(const char16_t* pDevPath, std::uint32_t nOffset, const std::uint8_t* pData,
                            std::uint32_t nCount, std::uint32_t* pWritten)
{
    if (pWritten)
        *pWritten = 0;
    std::u16string drivePath;
    if (GetPhysicalDrivePath(drivePath, pDevPath) != 0) {
        COMN_LOG("%s : %s : %d device path refused! pDevPath: %s", WideToUtf8(pDevPath).c_str());
        return kDevicePathRefused;
    }
    // Write-through: the data is on the disk when the write returns.
    ScopedHandle device(
        OpenForSoleUse(drivePath, win::GENERIC_WRITE, win::FILE_FLAG_WRITE_THROUGH | win::FILE_ATTRIBUTE_NORMAL));
    if (!device.IsValid()) {
        COMN_LOG("%s : %s : %d Open Device fail ! pDevPath: %s", WideToUtf8(pDevPath).c_str());
        return kDeviceNotOpened;
    }
    win::OVERLAPPED overlapped{};
    overlapped.Offset = nOffset;
    win::DWORD nWritten = 0;
    const win::BOOL ok = win::WriteFile(device.Get(), pData, nCount, &nWritten, &overlapped);
    const win::DWORD nErrorCode = ok ? win::ERROR_SUCCESS : win::GetLastError();
    if (pWritten)
        *pWritten = nWritten;
    if (!ok) {
        COMN_LOG("%s : %s : %d Write Device fail ! pDevPath: %s, nErrorCode:%d", WideToUtf8(pDevPath).c_str(),
                 Signed(nErrorCode));
        // A failure must never read as success, even without an error code.
        return nErrorCode != win::ERROR_SUCCESS ? Signed(nErrorCode) : Signed(win::ERROR_WRITE_FAULT);
    }
    if (nWritten < nCount) {
        COMN_LOG("%s : %s : %d Write Device file size error ! pDevPath: %s, hope size:%d, real size:%d",
                 WideToUtf8(pDevPath).c_str(), Signed(nCount), Signed(nWritten));
        return kDeviceTransferShort;
    }
    return 0;
}

int CTavrinOpt::GetWriteFile(const char16_t* pFilePath, ByteBuffer& buffer, std::uint32_t nCount,
                             std::uint32_t* pRead)
{
    buffer.clear();
    if (pRead)
        *pRead = 0;
    if (!pFilePath || !*pFilePath)
        return kNoSourceFile;
    ScopedHandle file(win::CreateFileW(pFilePath, win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                       win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        COMN_LOG("%s : %s : %d open write file fail! pFilePath: %s", WideToUtf8(pFilePath).c_str());
        return kSourceFileNotOpened;
    }
    ByteBuffer data;
    data.resize(nCount);
    win::DWORD nRead = 0;
    if (!win::ReadFile(file.Get(), data.data(), nCount, &nRead, nullptr)) {
        COMN_LOG("%s : %s : %d Read write file fail! pFilePath: %s, nErrorFlag:%d", WideToUtf8(pFilePath).c_str(),
                 Signed(win::GetLastError()));
        return kSourceFileReadFailed;
    }
    // A file shorter than the count leaves the rest zero: only that part is
    // cleared, the rest was just read over.
    std::memset(data.data() + nRead, 0, nCount - std::min<std::uint32_t>(nRead, nCount));
    if (pRead)
        *pRead = nRead;
    buffer = std::move(data);
    return 0;
}

int CTavrinOpt::ReadDeviceString(const char16_t* pDevPath, int nUpgradeType, ByteBuffer& buffer,
                                 std::uint32_t* pSize)
{
    buffer.clear();
    const UpgradeRegion* region = FindUpgradeRegion(nUpgradeType);
    if (!region)
        return kDevicePathRefused;  // no such region: nothing to open
    COMN_LOG("%s : %s : %d read device date! pDevPath: %s, nUpdateFlag:%d, nSeek:%d, nMaxSize:%d",
             WideToUtf8(pDevPath).c_str(), nUpgradeType, Signed(region->nSeek), Signed(region->nMaxSize));
    ByteBuffer data;
    data.resize(region->nMaxSize);
    // Large regions come in 8 MiB pieces, each its own open and read,
    // straight into their place in the region's buffer.
    const std::uint32_t nPiece = std::min(region->nMaxSize, kRegionPieceSize);
    for (std::uint32_t done = 0; done < region->nMaxSize; done += nPiece)
        if (int nRet = ReadInto(pDevPath, region->nSeek + done, data.data() + done, nPiece, nullptr); nRet != 0)
            return nRet;
    buffer = std::move(data);
    if (pSize)
        *pSize = region->nMaxSize;
    return 0;
}

int CTavrinOpt::WriteDeviceString(const char16_t* pDevPath, int nUpgradeType, const char16_t* pFilePath)
{
    const UpgradeRegion* region = FindUpgradeRegion(nUpgradeType);
    if (!region)
        return kDevicePathRefused;
    ByteBuffer data;
    if (nUpgradeType == UPGRADE_TYPE_GPTSURPLUS) {
        data.assign(region->nMaxSize, 0);
    } else {
        COMN_LOG("%s : %s : %d Read write file ! pFilePath: %s, nUpgradeType:%d", WideToUtf8(pFilePath).c_str(),
                 nUpgradeType);
        if (int nRet = GetWriteFile(pFilePath, data, region->nMaxSize, nullptr); nRet != 0)
            return nRet;
    }
    return WriteDeviceRegion(pDevPath, nUpgradeType, data);
}

int CTavrinOpt::WriteDeviceRegion(const char16_t* pDevPath, int nUpgradeType, const ByteBuffer& data)
{
    const UpgradeRegion* region = FindUpgradeRegion(nUpgradeType);
    if (!region || data.size() != region->nMaxSize)
        return kDevicePathRefused;
    const std::string devPath = WideToUtf8(pDevPath);
    COMN_LOG("%s : %s : %d Write upgrade file ! pDevPath: %s, nSeek:%d, nMaxSize:%d", devPath.c_str(),
             Signed(region->nSeek), Signed(region->nMaxSize));
    int nRet = 0;
    if (region->nMaxSize > kRegionPieceSize) {
        for (std::uint32_t done = 0; done < region->nMaxSize && nRet == 0; done += kRegionPieceSize)
            nRet = WriteString(pDevPath, region->nSeek + done, data.data() + done, kRegionPieceSize, nullptr);
        COMN_LOG("%s : %s : %d 分批次写入 ! pDevPath: %s, nSeek:%d, nMaxSize:%d", devPath.c_str(),
                 Signed(region->nSeek), Signed(region->nMaxSize));
    } else {
        nRet = WriteString(pDevPath, region->nSeek, data.data(), region->nMaxSize, nullptr);
        COMN_LOG("%s : %s : %d 一次性全部写入 ! pDevPath: %s, nSeek:%d, nMaxSize:%d", devPath.c_str(),
                 Signed(region->nSeek), Signed(region->nMaxSize));
    }
    return nRet;
}

int CTavrinOpt::Check(const char16_t* pDevPath, int nUpgradeType, const char16_t* pFilePath)
{
    COMN_LOG("%s : %s : %d check Read Device file! pDevPath: %s, nUpgradeFlag:%d", WideToUtf8(pDevPath).c_str(),
             nUpgradeType);
    std::uint32_t nSize = 0;
    std::uint32_t nWriteCrc = 0;
    {
        ByteBuffer device;
        if (int nRet = ReadDeviceString(pDevPath, nUpgradeType, device, &nSize); nRet != 0)
            return nRet;
        // Summed at once and dropped, so the file's bytes go into the same
        // memory instead of a second region-sized block.
        nWriteCrc = CalcCrc16(device.data(), device.size());
    }
    COMN_LOG("%s : %s : %d check Read upgrade file! pFilePath: %s, nWriteSize:%d", WideToUtf8(pFilePath).c_str(),
             Signed(nSize));
    ByteBuffer file;
    if (int nRet = GetWriteFile(pFilePath, file, nSize, nullptr); nRet != 0)
        return nRet;
    COMN_LOG("%s : %s : %d CRC  Read Device file!  nWriteCRC:%d", Signed(nWriteCrc));
    const std::uint32_t nReadCrc = CalcCrc16(file.data(), file.size());
    COMN_LOG("%s : %s : %d CRC  Read upgrade file!  nReadCRC:%d", Signed(nReadCrc));
    return nWriteCrc != nReadCrc ? kRegionDiffers : 0;
}

int CTavrinOpt::SetUpgradeFlag(const char16_t* pDevPath, int nUpgradeType, int nBitValue)
{
    ByteBuffer sector;
    if (int nRet = ReadString(pDevPath, kUpgradeFlagOffset, sector, kUpgradeFlagSize, nullptr); nRet != 0)
        return nRet;
    if (nUpgradeType >= UPGRADE_TYPE_LOADER && nUpgradeType <= UPGRADE_TYPE_ROOTFS) {
        // The flag word is little-endian whatever the host.
        std::uint32_t word = sector[0] | sector[1] << 8 | sector[2] << 16 | static_cast<std::uint32_t>(sector[3]) << 24;
        const std::uint32_t bit = 1u << (nUpgradeType - 1);
        word = nBitValue ? word | bit : word & ~bit;
        for (int i = 0; i < 4; ++i)
            sector[static_cast<size_t>(i)] = static_cast<std::uint8_t>(word >> (8 * i));
    }
    return WriteString(pDevPath, kUpgradeFlagOffset, sector.data(), kUpgradeFlagSize, nullptr);
}
