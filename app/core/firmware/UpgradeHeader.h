// The text header of a firmware image file: KEY=value lines, the first
// "CRCSUM=", then SKIP more lines, followed by the payload it describes.
#pragma once

#include <cstdint>
#include <string_view>

struct UpgradeFileHeader {
    std::uint32_t nCrcSum = 0;
    std::int32_t nSkip = 1;  // until a "SKIP=" line says otherwise
    std::int32_t nBSize = 0;
    std::int32_t nKSize = 0;
    std::int32_t nRSize = 0;
    std::int64_t nHeaderLength = 0;     // all header lines with their line feeds
    std::int64_t nFirstLineLength = 0;  // the "CRCSUM=" line with its line feed
};

// Results of ParseUpgradeHeaderFile.
inline constexpr int kHeaderParsed = 0;
inline constexpr int kHeaderNoSuchFile = 1;
inline constexpr int kHeaderCannotOpen = 2;
// The header's sizes are negative, empty or beyond 32-bit file offsets.
inline constexpr int kHeaderSizesRefused = 5;

// Reads lines 0 to SKIP in text mode (CR LF reads as LF, so such a header
// counts one byte short per line) and applies each.
int ParseUpgradeHeaderFile(const char16_t* pImagePath, UpgradeFileHeader& header);
// Applies one line without its line feed; a line with no key changes nothing.
void ParseHeaderLine(std::string_view line, UpgradeFileHeader& header);

struct UpgradeFileSpan {
    std::int64_t nOffset = 0;
    std::int64_t nLength = 0;
};

UpgradeFileSpan KernelImageSpan(const UpgradeFileHeader& header);
UpgradeFileSpan RootfsImageSpan(const UpgradeFileHeader& header);
// From the byte after the first line to the end of the root file system image.
UpgradeFileSpan ChecksumSpan(const UpgradeFileHeader& header);
// A span that 32-bit file offsets and counts can reach.
bool IsReadableSpan(const UpgradeFileSpan& span);
// Sizes a file can be trusted with: none negative, a kernel and a root file
// system image present, everything within 32-bit offsets.
bool HasUsableSizes(const UpgradeFileHeader& header);
