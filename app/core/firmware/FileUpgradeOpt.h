// Firmware image files: verify the checksum against the header, and split
// the kernel and root file system images out into plain files.
#pragma once

#include <cstdint>
#include <string>

#include "app/core/checksums/Checksums.h"
#include "app/core/firmware/ByteBuffer.h"
#include "app/core/firmware/UpgradeHeader.h"

// Results of HandleUpgradeFile.
inline constexpr int kUpgradeFileReady = 0;
inline constexpr int kUpgradeFileNotVerified = 1000;
inline constexpr int kKernelFileNotWritten = 2;
inline constexpr int kRootfsFileNotWritten = 3;

// Codes of the file reads and writes.
inline constexpr int kFileNotOpened = 2;
inline constexpr int kFileTransferFailed = 3;
inline constexpr int kFileTransferShort = 4;

// CksumUpgradeFile reads this much at a time: large enough that a read costs
// little beyond its copy, small enough to stay in the processor's cache
// while it is summed.
inline constexpr std::uint32_t kCksumReadPiece = 1024 * 1024;

class CFileUpgradeOpt {
public:
    // Verifies the image and writes "kernel" and "rootfs" into the folder.
    int HandleUpgradeFile(const char16_t* pImagePath, const char16_t* pFolderPath);
    // 0 checksum matches, 1 it differs, else the failing step's code.
    int CheckUpgradeFile(const char16_t* pImagePath, UpgradeFileHeader& header);
    // The header, with sizes no image can hold refused (kHeaderSizesRefused).
    int ReadUsableHeader(const char16_t* pImagePath, UpgradeFileHeader& header);
    // 0, 1 no such file, 2 cannot open, kHeaderLineRefused with the line
    // named in the problem (and in the log).
    int ParseUpgradeHeader(const char16_t* pImagePath, UpgradeFileHeader& header, std::string* pProblem = nullptr);
    // Writes the image of region type 3 or 4 to the folder under the region's name.
    int ExtractRegionFile(const char16_t* pImagePath, const char16_t* pFolderPath, int nUpgradeType,
                          const UpgradeFileHeader& header);
    // The same into the file given.
    int ExtractRegionFileTo(const char16_t* pImagePath, const char16_t* pTargetPath, int nUpgradeType,
                            const UpgradeFileHeader& header);
    // The kernel (3) or root file system (4) image bytes; 1 for other types.
    int ReadUpgradeFile(const char16_t* pImagePath, int nUpgradeType, const UpgradeFileHeader& header,
                        ByteBuffer& buffer, std::uint32_t* pSize);
    // nCount bytes at nOffset; on failure the buffer is left empty.
    int ReadUpgradeFile(const char16_t* pFilePath, std::uint32_t nOffset, ByteBuffer& buffer,
                        std::uint32_t nCount, std::uint32_t* pRead);
    // A part of the image as its region takes it: the first bytes of the
    // part, as many as the region holds, and zeros after them.
    struct RegionPart {
        int nUpgradeType = 0;
        std::uint32_t nRegionSize = 0;
        ByteBuffer* pBuffer = nullptr;   // resized to nRegionSize
        std::uint32_t nImageBytes = 0;   // the part's bytes in it
    };
    // Reads the kernel and rootfs into their buffers and checks the header's
    // checksum over those very bytes (the rest of the span read alongside),
    // so what is written is what was verified: 0 holds, 1 differs, else the
    // code of the header or the raw read.
    int ReadVerifiedParts(const char16_t* pImagePath, UpgradeFileHeader& header, RegionPart& kernel,
                          RegionPart& rootfs);
    // True when the file holds exactly these bytes.
    bool FileHolds(const char16_t* pFilePath, const std::uint8_t* pData, std::uint32_t nCount);
    // The cksum of nCount bytes at nOffset, read through one small buffer
    // in pieces; the codes of the raw read.
    int CksumUpgradeFile(const char16_t* pFilePath, std::uint32_t nOffset, std::uint32_t nCount,
                         std::uint32_t& nSum);
    // Creates or replaces the file with exactly the given bytes.
    int WriteUpgradeFile(const char16_t* pFilePath, const std::uint8_t* pData, std::uint32_t nCount,
                         std::uint32_t* pWritten);

    static CksumTable MakeCksumTable(bool msbFirst) { return ::MakeCksumTable(msbFirst); }
    static std::uint32_t Cksum(const std::uint8_t* data, std::size_t count, const CksumTable& table)
    {
        return ::Cksum(data, count, table);
    }
};
