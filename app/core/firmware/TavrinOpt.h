// Raw reads and writes of the firmware regions on the appliance's disk,
// their check against the source files, and the upgrade flag bits.
#pragma once

#include <cstdint>
#include <string>

#include "app/core/firmware/ByteBuffer.h"
#include "app/core/firmware/UpgradeRegions.h"

// Codes of the raw transfers (a failed device write returns its Windows
// error code instead).
inline constexpr int kDevicePathRefused = 1;
inline constexpr int kDeviceNotOpened = 2;
inline constexpr int kDeviceReadFailed = 3;
inline constexpr int kDeviceTransferShort = 4;
inline constexpr int kNoSourceFile = 1;
inline constexpr int kSourceFileNotOpened = 2;
inline constexpr int kSourceFileReadFailed = 3;
// Check: the region differs from its file.
inline constexpr int kRegionDiffers = 1;

class CTavrinOpt {
public:
    // The whole region of nUpgradeType; on failure the buffer is left empty.
    int ReadDeviceString(const char16_t* pDevPath, int nUpgradeType, ByteBuffer& buffer,
                         std::uint32_t* pSize);
    // Writes the whole region from the file (zero-padded or cut to the
    // region's size); the gptsurplus region is written with zeros.
    int WriteDeviceString(const char16_t* pDevPath, int nUpgradeType, const char16_t* pFilePath);
    // Writes the whole region from memory of exactly the region's size.
    int WriteDeviceRegion(const char16_t* pDevPath, int nUpgradeType, const ByteBuffer& data);
    // 0 region equals the (zero-padded) file, 1 CRC differs, else the step's code.
    int Check(const char16_t* pDevPath, int nUpgradeType, const char16_t* pFilePath);
    int ReadString(const char16_t* pDevPath, std::uint32_t nOffset, ByteBuffer& buffer,
                   std::uint32_t nCount, std::uint32_t* pRead);
    int WriteString(const char16_t* pDevPath, std::uint32_t nOffset, const std::uint8_t* pData, std::uint32_t nCount,
                    std::uint32_t* pWritten);
    // nCount bytes from the file's start, zero-padded when it is shorter.
    int GetWriteFile(const char16_t* pFilePath, ByteBuffer& buffer, std::uint32_t nCount,
                     std::uint32_t* pRead);
    // Sets or clears bit (type - 1) of the flag word; other bytes stay.
    int SetUpgradeFlag(const char16_t* pDevPath, int nUpgradeType, int nBitValue);

    // "\\Device\\HarddiskN\\Partition0" with N >= 1 to "\\\\.\\PhysicalDriveN":
    // 0, or 1 for anything else.
    static int GetPhysicalDrivePath(std::u16string& drivePath, const char16_t* pDevPath);
    static std::uint32_t CalcCrc16(const std::uint8_t* data, std::size_t count);

private:
    // ReadString into the caller's memory, so a region's pieces land in
    // place; pData is left as it was read so far on failure.
    int ReadInto(const char16_t* pDevPath, std::uint32_t nOffset, std::uint8_t* pData, std::uint32_t nCount,
                 std::uint32_t* pRead);
};
