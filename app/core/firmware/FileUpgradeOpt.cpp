#include "app/core/firmware/FileUpgradeOpt.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "app/core/firmware/UpgradeRegions.h"
#include "app/core/log/ComnLog.h"
#include "app/core/support/ScopedHandle.h"
#include "app/core/support/WideText.h"
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

int CFileUpgradeOpt::ReadUsableHeader(const char16_t* pImagePath, UpgradeFileHeader& header)
{
    if (int nRet = ParseUpgradeHeader(pImagePath, header); nRet != 0)
        return nRet;
    // Sizes come from the file: refuse what no image can hold before reading.
    if (!HasUsableSizes(header)) {
        COMN_LOG("%s : %s : %d upgrade file sizes refused! pFilePath: %s, BSIZE:%d, KSIZE:%d, RSIZE:%d",
                 WideToUtf8(pImagePath).c_str(), header.nBSize, header.nKSize, header.nRSize);
        return kHeaderSizesRefused;
    }
    return 0;
}

int CFileUpgradeOpt::CheckUpgradeFile(const char16_t* pImagePath, UpgradeFileHeader& header)
{
    if (int nRet = ReadUsableHeader(pImagePath, header); nRet != 0)
        return nRet;
    const UpgradeFileSpan span = ChecksumSpan(header);
    std::uint32_t nSum = 0;
    if (int nRet = CksumUpgradeFile(pImagePath, static_cast<std::uint32_t>(span.nOffset),
                                    static_cast<std::uint32_t>(span.nLength), nSum);
        nRet != 0)
        return nRet;
    return nSum != header.nCrcSum ? 1 : 0;
}

int CFileUpgradeOpt::ParseUpgradeHeader(const char16_t* pImagePath, UpgradeFileHeader& header, std::string* pProblem)
{
    std::string problem;
    const int nRet = ParseUpgradeHeaderFile(pImagePath, header, &problem);
    if (nRet == kHeaderLineRefused)
        COMN_LOG("%s : %s : %d upgrade file header refused! pFilePath: %s, %s", WideToUtf8(pImagePath).c_str(),
                 problem.c_str());
    if (pProblem)
        *pProblem = std::move(problem);
    return nRet;
}

int CFileUpgradeOpt::ExtractRegionFile(const char16_t* pImagePath, const char16_t* pFolderPath, int nUpgradeType,
                                       const UpgradeFileHeader& header)
{
    const UpgradeRegion* region = FindUpgradeRegion(nUpgradeType);
    if (!region)
        return 1;
    const std::u16string target = std::u16string(pFolderPath ? pFolderPath : u"") + u"\\" + Utf8ToWide(region->pName);
    return ExtractRegionFileTo(pImagePath, target.c_str(), nUpgradeType, header);
}

int CFileUpgradeOpt::ExtractRegionFileTo(const char16_t* pImagePath, const char16_t* pTargetPath, int nUpgradeType,
                                         const UpgradeFileHeader& header)
{
    ByteBuffer buffer;
    std::uint32_t nSize = 0;
    if (int nRet = ReadUpgradeFile(pImagePath, nUpgradeType, header, buffer, &nSize); nRet != 0)
        return nRet;
    return WriteUpgradeFile(pTargetPath, buffer.data(), nSize, nullptr);
}

int CFileUpgradeOpt::ReadUpgradeFile(const char16_t* pImagePath, int nUpgradeType, const UpgradeFileHeader& header,
                                     ByteBuffer& buffer, std::uint32_t* pSize)
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

namespace {

// Shared with other readers: upgrades of several disks read one image at
// once. Writers stay out while it is read.
win::HANDLE OpenForRawRead(const char16_t* pFilePath)
{
    return pFilePath ? win::CreateFileW(pFilePath, win::GENERIC_READ, win::FILE_SHARE_READ, nullptr, win::OPEN_EXISTING,
                                        win::FILE_ATTRIBUTE_NORMAL, nullptr)
                     : win::INVALID_HANDLE_VALUE;
}

// Sees that the opened file holds nCount bytes at nOffset: a header may
// promise more than the file holds, and such a read can only come up short,
// so it is answered before any memory is taken. 0, or the raw read's code
// with *pRead set to what the file has there.
int CheckSpan(const ScopedHandle& file, const char16_t* pFilePath, std::uint32_t nOffset, std::uint32_t nCount,
              std::uint32_t* pRead)
{
    if (pRead)
        *pRead = 0;
    if (!file.IsValid()) {
        COMN_LOG("%s : %s : %d open File fail! pDevPath: %s", WideToUtf8(pFilePath).c_str());
        return kFileNotOpened;
    }
    win::LARGE_INTEGER fileSize{};
    if (!win::GetFileSizeEx(file.Get(), &fileSize))
        return kFileTransferFailed;
    const auto size = static_cast<std::uint64_t>(fileSize.QuadPart);
    const std::uint64_t available = size > nOffset ? size - nOffset : 0;
    if (available < nCount) {
        if (pRead)
            *pRead = static_cast<std::uint32_t>(available);
        return kFileTransferShort;
    }
    return 0;
}

// One raw read at an offset: 0, 3 failed, 4 short.
int ReadAt(const ScopedHandle& file, std::uint64_t nOffset, std::uint8_t* pData, std::uint32_t nCount,
           std::uint32_t* pRead)
{
    win::OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<win::DWORD>(nOffset);
    overlapped.OffsetHigh = static_cast<win::DWORD>(nOffset >> 32);
    win::DWORD nRead = 0;
    if (!win::ReadFile(file.Get(), pData, nCount, &nRead, &overlapped))
        return kFileTransferFailed;
    if (pRead)
        *pRead = nRead;
    return nRead < nCount ? kFileTransferShort : 0;
}

// nCount bytes at nOffset, read a piece at a time into piece (made when
// empty) and handed to visit(bytes, count, done so far), which may stop the
// walk by returning false: 0, the raw read's code, or 1 when stopped.
template <typename Visit>
int ReadInPieces(const ScopedHandle& file, std::uint64_t nOffset, std::uint64_t nCount, ByteBuffer& piece,
                 Visit visit)
{
    if (nCount > 0 && piece.empty())
        piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(nCount, kCksumReadPiece)));
    for (std::uint64_t done = 0; done < nCount;) {
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(nCount - done, piece.size()));
        if (int nRet = ReadAt(file, nOffset + done, piece.data(), n, nullptr); nRet != 0)
            return nRet;
        if (!visit(piece.data(), n, done))
            return 1;
        done += n;
    }
    return 0;
}

// Adds nCount bytes at nOffset to the sum.
int SumFromFile(const ScopedHandle& file, std::uint64_t nOffset, std::uint64_t nCount, ByteBuffer& piece,
                CksumStream& stream)
{
    return ReadInPieces(file, nOffset, nCount, piece, [&](const std::uint8_t* bytes, std::uint32_t n, std::uint64_t) {
        stream.Add(bytes, n);
        return true;
    });
}

}  // namespace

int CFileUpgradeOpt::ReadUpgradeFile(const char16_t* pFilePath, std::uint32_t nOffset, ByteBuffer& buffer,
                                     std::uint32_t nCount, std::uint32_t* pRead)
{
    buffer.clear();
    ScopedHandle file(OpenForRawRead(pFilePath));
    if (int nRet = CheckSpan(file, pFilePath, nOffset, nCount, pRead); nRet != 0)
        return nRet;
    ByteBuffer data;
    data.resize(nCount);  // read over whole, or dropped
    if (int nRet = ReadAt(file, nOffset, data.data(), nCount, pRead); nRet != 0)
        return nRet;
    buffer = std::move(data);
    return 0;
}

int CFileUpgradeOpt::CksumUpgradeFile(const char16_t* pFilePath, std::uint32_t nOffset, std::uint32_t nCount,
                                      std::uint32_t& nSum)
{
    ScopedHandle file(OpenForRawRead(pFilePath));
    if (int nRet = CheckSpan(file, pFilePath, nOffset, nCount, nullptr); nRet != 0)
        return nRet;
    ByteBuffer piece;
    CksumStream stream;
    if (int nRet = SumFromFile(file, nOffset, nCount, piece, stream); nRet != 0)
        return nRet;
    nSum = stream.Finish();
    return 0;
}

int CFileUpgradeOpt::ReadVerifiedParts(const char16_t* pImagePath, UpgradeFileHeader& header, RegionPart& kernel,
                                       RegionPart& rootfs)
{
    if (int nRet = ReadUsableHeader(pImagePath, header); nRet != 0)
        return nRet;
    const UpgradeFileSpan span = ChecksumSpan(header);
    ScopedHandle file(OpenForRawRead(pImagePath));
    if (int nRet = CheckSpan(file, pImagePath, static_cast<std::uint32_t>(span.nOffset),
                             static_cast<std::uint32_t>(span.nLength), nullptr);
        nRet != 0)
        return nRet;
    // The span runs from the end of the first line through the rootfs; the
    // parts' leading bytes are summed from the memory they are written from.
    ByteBuffer piece;
    CksumStream stream;
    std::uint64_t at = static_cast<std::uint64_t>(span.nOffset);
    for (RegionPart* part : {&kernel, &rootfs}) {
        const UpgradeFileSpan bytes =
            part->nUpgradeType == UPGRADE_TYPE_KERNEL ? KernelImageSpan(header) : RootfsImageSpan(header);
        const auto nOffset = static_cast<std::uint64_t>(bytes.nOffset);
        const auto nLength = static_cast<std::uint32_t>(bytes.nLength);
        if (int nRet = SumFromFile(file, at, nOffset - at, piece, stream); nRet != 0)
            return nRet;
        part->nImageBytes = std::min(nLength, part->nRegionSize);
        ByteBuffer& buffer = *part->pBuffer;
        buffer.resize(part->nRegionSize);
        if (int nRet = ReadAt(file, nOffset, buffer.data(), part->nImageBytes, nullptr); nRet != 0)
            return nRet;
        std::memset(buffer.data() + part->nImageBytes, 0, part->nRegionSize - part->nImageBytes);
        stream.Add(buffer.data(), part->nImageBytes);
        at = nOffset + part->nImageBytes;
        if (int nRet = SumFromFile(file, at, nLength - part->nImageBytes, piece, stream); nRet != 0)
            return nRet;
        at = nOffset + nLength;
    }
    return stream.Finish() != header.nCrcSum ? 1 : 0;
}

bool CFileUpgradeOpt::FileHolds(const char16_t* pFilePath, const std::uint8_t* pData, std::uint32_t nCount)
{
    ScopedHandle file(OpenForRawRead(pFilePath));
    win::LARGE_INTEGER size{};
    if (!file.IsValid() || !win::GetFileSizeEx(file.Get(), &size) || static_cast<std::uint64_t>(size.QuadPart) != nCount)
        return false;
    ByteBuffer piece;
    return ReadInPieces(file, 0, nCount, piece, [&](const std::uint8_t* bytes, std::uint32_t n, std::uint64_t done) {
               return std::memcmp(bytes, pData + done, n) == 0;
           }) == 0;
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
