// The text header of a firmware image file: KEY=value lines, the first
// "CRCSUM=", then SKIP more lines, followed by the payload it describes.
#pragma once

#include <cstdint>
#include <string>
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
// A header line the format does not allow; the problem text names it.
inline constexpr int kHeaderLineRefused = 6;

// The most lines a header may have after its first. With each line read in
// pieces of at most 1023 bytes, this bounds what is read of a file before
// its payload, whatever a "SKIP=" line claims.
inline constexpr std::int32_t kMaxHeaderSkip = 1023;

// Reads lines 0 to SKIP in text mode (CR LF reads as LF, so such a header
// counts one byte short per line) and applies each. On kHeaderLineRefused
// the problem names the line ("line 4: ...") when pProblem is given.
int ParseUpgradeHeaderFile(const char16_t* pImagePath, UpgradeFileHeader& header, std::string* pProblem = nullptr);

// Keys already applied, so a second line of one key is refused.
using HeaderKeysSeen = unsigned;

// Applies one line without its line feed. A line with none of the keys
// changes nothing; a line with a key must start with it and carry only a
// number in the key's range. Returns what is wrong with the line, or "".
std::string ParseHeaderLine(std::string_view line, UpgradeFileHeader& header, HeaderKeysSeen* pSeen = nullptr);

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
