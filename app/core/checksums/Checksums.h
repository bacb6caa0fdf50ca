// The two checksums of the firmware upgrade: the CRC that compares a written
// region with its file, and the POSIX cksum that verifies an image file.
// Both run on the fastest engine the processor has (ChecksumEngines.h) and
// give exactly the values of the byte-at-a-time loops.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

using CksumTable = std::array<std::uint32_t, 256>;

// CRC-16/XMODEM steps kept in a 32-bit accumulator that is never masked:
// the low 16 bits are the CRC, the high ones what earlier steps left there.
// Comparisons use all 32 bits.
std::uint32_t CalcCrc16(const std::uint8_t* data, std::size_t count);

// The CRC-32 table of polynomial 0x04C11DB7, most significant bit first, or
// (msbFirst false, unused) the reflected table of 0xEDB88320.
CksumTable MakeCksumTable(bool msbFirst = true);
// The checksum the POSIX cksum utility prints; table from MakeCksumTable(true)
// (any other table is honoured, a byte at a time).
std::uint32_t Cksum(const std::uint8_t* data, std::size_t count, const CksumTable& table);

// Cksum of data that arrives in pieces: Finish() after the last one gives
// what Cksum gives for all of them at once.
class CksumStream {
public:
    void Add(const std::uint8_t* data, std::size_t count);
    std::uint32_t Finish() const;

private:
    std::uint32_t state_ = 0;
    std::uint64_t count_ = 0;
};
