#include "app/core/FileUpgradeOpt.h"

#include <string>

#include "app/core/ComnLog.h"
#include "app/core/ScopedHandle.h"
#include "app/core/UpgradeRegions.h"
#include "app/core/WideText.h"
#include "platform/win_api.h"

int CFileUpgradeOpt::HandleUpgradeFile(const char16_t* pImagePath, const char16_t* pFolderPath)
{
    UpgradeFileHeader header;
    if (CheckUpgradeFile(pImagePath, header) != 0)
        return kUpgradeFileNotVerified;
    if (ExtractRegionFile(pImagePath, pFolderPath, UPGRADE_TYPE_KERNEL, header) != 0)
        return kKernelFileNotWritten;
    if (ExtractRegionFile(pImagePath, pFolderPath, UPGRADE_TYPE_ROOTFS, header) != 0)
        return kRootfsFileNotWritten;
    return kUpgradeFileReady;
}

int CFileUpgradeOpt::CheckUpgradeFile(const char16_t* pImagePath, UpgradeFileHeader& header)
{
    if (int nRet = ParseUpgradeHeader(pImagePath, header); nRet != 0)
        return nRet;
    // Sizes come from the file: refuse what no image can hold before reading.
    if (!HasUsableSizes(header)) {
        COMN_LOG("%s : %s : %d upgrade file sizes refused! pFilePath: %s, BSIZE:%d, KSIZE:%d, RSIZE:%d",
                 WideToUtf8(pImagePath).c_str(), header.nBSize, header.nKSize, header.nRSize);
        return kHeaderSizesRefused;
    }
    const UpgradeFileSpan span = ChecksumSpan(header);
    std::vector<std::uint8_t> buffer;
    if (int nRet = ReadUpgradeFile(pImagePath, static_cast<std::uint32_t>(span.nOffset), buffer,
                                   static_cast<std::uint32_t>(span.nLength), nullptr);
        nRet != 0)
        return nRet;
    const CksumTable table = MakeCksumTable(true);
    return Cksum(buffer.data(), buffer.size(), table) != header.nCrcSum ? 1 : 0;
}

int CFileUpgradeOpt::ParseUpgradeHeader(const char16_t* pImagePath, UpgradeFileHeader& header)
{
    return ParseUpgradeHeaderFile(pImagePath, header);
}

int CFileUpgradeOpt::ExtractRegionFile(const char16_t* pImagePath, const char16_t* pFolderPath, int nUpgradeType,
                                       const UpgradeFileHeader& header)
{
    std::vector<std::uint8_t> buffer;
    std::uint32_t nSize = 0;
    if (int nRet = ReadUpgradeFile(pImagePath, nUpgradeType, header, buffer, &nSize); nRet != 0)
        return nRet;
    const std::u16string target = std::u16string(pFolderPath ? pFolderPath : u"") + u"\\" +
                                  Utf8ToWide(FindUpgradeRegion(nUpgradeType)->pName);
    return WriteUpgradeFile(target.c_str(), buffer.data(), nSize, nullptr);
}

int CFileUpgradeOpt::ReadUpgradeFile(const char16_t* pImagePath, int nUpgradeType, const UpgradeFileHeader& header,
                                     std::vector<std::uint8_t>& buffer, std::uint32_t* pSize)
{
    buffer.clear();
    UpgradeFileSpan span;
    if (nUpgradeType == UPGRADE_TYPE_KERNEL)
        span = KernelImageSpan(header);
    else if (nUpgradeType == UPGRADE_TYPE_ROOTFS)
        span = RootfsImageSpan(header);
    else
        return 1;
    COMN_LOG("%s : %s : %d read Upgrade date! pDevPath: %s, nUpdateFlag:%d, nSeek:%d, nMaxSize:%d",
             WideToUtf8(pImagePath).c_str(), nUpgradeType, static_cast<int>(span.nOffset),
             static_cast<int>(span.nLength));
    if (!IsReadableSpan(span))
        return kHeaderSizesRefused;
    const auto nCount = static_cast<std::uint32_t>(span.nLength);
    if (int nRet = ReadUpgradeFile(pImagePath, static_cast<std::uint32_t>(span.nOffset), buffer, nCount, nullptr);
        nRet != 0)
        return nRet;
    if (pSize)
        *pSize = nCount;
    return 0;
}

int CFileUpgradeOpt::ReadUpgradeFile(const char16_t* pFilePath, std::uint32_t nOffset,
                                     std::vector<std::uint8_t>& buffer, std::uint32_t nCount, std::uint32_t* pRead)
{
    buffer.clear();
    if (pRead)
        *pRead = 0;
    ScopedHandle file(pFilePath ? win::CreateFileW(pFilePath, win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                                   win::FILE_ATTRIBUTE_NORMAL, nullptr)
                                : win::INVALID_HANDLE_VALUE);
    if (!file.IsValid()) {
        COMN_LOG("%s : %s : %d open File fail! pDevPath: %s", WideToUtf8(pFilePath).c_str());
        return kFileNotOpened;
    }
    // A header may promise more than the file holds: such a read can only
    // come up short, so it is answered without allocating the promised size.
    win::LARGE_INTEGER fileSize{};
    if (!win::GetFileSizeEx(file.Get(), &fileSize))
        return kFileTransferFailed;
    const std::uint64_t available =
        static_cast<std::uint64_t>(fileSize.QuadPart) > nOffset ? static_cast<std::uint64_t>(fileSize.QuadPart) - nOffset : 0;
    if (available < nCount) {
        if (pRead)
            *pRead = static_cast<std::uint32_t>(available);
        return kFileTransferShort;
    }

    std::vector<std::uint8_t> data(nCount);
    win::OVERLAPPED overlapped{};
    overlapped.Offset = nOffset;
    win::DWORD nRead = 0;
    if (!win::ReadFile(file.Get(), data.data(), nCount, &nRead, &overlapped))
        return kFileTransferFailed;
    if (pRead)
        *pRead = nRead;
    if (nRead < nCount)
        return kFileTransferShort;
    buffer = std::move(data);
    return 0;
}

int CFileUpgradeOpt::WriteUpgradeFile(const char16_t* pFilePath, const std::uint8_t* pData, std::uint32_t nCount,
                                      std::uint32_t* pWritten)
{
    if (pWritten)
        *pWritten = 0;
    const std::string path = WideToUtf8(pFilePath);
    ScopedHandle file(pFilePath ? win::CreateFileW(pFilePath, win::GENERIC_WRITE, 0, nullptr, win::CREATE_ALWAYS,
                                                   win::FILE_ATTRIBUTE_NORMAL, nullptr)
                                : win::INVALID_HANDLE_VALUE);
    if (!file.IsValid()) {
        COMN_LOG("%s : %s : %d open %s file  error!", path.c_str());
        return kFileNotOpened;
    }
    win::DWORD nWritten = 0;
    if (!win::WriteFile(file.Get(), pData, nCount, &nWritten, nullptr)) {
        COMN_LOG("%s : %s : %d write %s file  error! error code - %d", path.c_str(),
                 static_cast<int>(win::GetLastError()));
        return kFileTransferFailed;
    }
    if (pWritten)
        *pWritten = nWritten;
    if (nWritten < nCount) {
        COMN_LOG("%s : %s : %d write %s file  size error! hope size:%d, write size:%d", path.c_str(),
                 static_cast<int>(nCount), static_cast<int>(nWritten));
        return kFileTransferShort;
    }
    return 0;
}
