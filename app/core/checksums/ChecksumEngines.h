// The ways the two checksums are computed. Each engine continues a CRC
// register (most significant bit first, no final XOR) over more bytes; all
// engines give the same register for the same bytes. The byte-at-a-time ones
// are the reference the faster ones are held to.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/core/checksums/Checksums.h"

namespace checksum {

// CRC-32, polynomial 0x04C11DB7: the register of cksum before the length.
using Crc32Engine = std::uint32_t (*)(std::uint32_t state, const std::uint8_t* data, std::size_t count);
// CRC-16/XMODEM, polynomial 0x1021.
using Crc16Engine = std::uint16_t (*)(std::uint16_t state, const std::uint8_t* data, std::size_t count);

std::uint32_t Crc32Bytewise(std::uint32_t state, const std::uint8_t* data, std::size_t count);
std::uint16_t Crc16Bytewise(std::uint16_t state, const std::uint8_t* data, std::size_t count);

// Sixteen bytes a step through sixteen tables; any processor.
std::uint32_t Crc32Sliced(std::uint32_t state, const std::uint8_t* data, std::size_t count);
std::uint16_t Crc16Sliced(std::uint16_t state, const std::uint8_t* data, std::size_t count);

// Carry-less multiplication folding, 128 bytes a step (PCLMULQDQ with
// SSE4.1). Only where ClmulAvailable() says so.
bool ClmulAvailable();
std::uint32_t Crc32Clmul(std::uint32_t state, const std::uint8_t* data, std::size_t count);
std::uint16_t Crc16Clmul(std::uint16_t state, const std::uint8_t* data, std::size_t count);

// The same on 256-bit registers, 256 bytes a step (VPCLMULQDQ with AVX2).
// Only where WideClmulAvailable() says so.
bool WideClmulAvailable();
std::uint32_t Crc32WideClmul(std::uint32_t state, const std::uint8_t* data, std::size_t count);
std::uint16_t Crc16WideClmul(std::uint16_t state, const std::uint8_t* data, std::size_t count);

// The fastest engines this processor runs, chosen once.
Crc32Engine BestCrc32();
Crc16Engine BestCrc16();
// "wide", "clmul" or "sliced": which ones BestCrc32 and BestCrc16 are.
const char* BestEngineName();

// The original byte-at-a-time loops of CalcCrc16 (from a given accumulator)
// and of Cksum (with any table).
std::uint32_t CalcCrc16Bytewise(std::uint32_t acc, const std::uint8_t* data, std::size_t count);
std::uint32_t CksumBytewise(const std::uint8_t* data, std::size_t count, const CksumTable& table);

}  // namespace checksum
