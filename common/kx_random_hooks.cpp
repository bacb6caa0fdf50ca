#include "common/kx_random_hooks.h"

#include "crypto/crc32.h"
#include "common/kx_random_crc.h"

namespace kx {

namespace {

void littleEndian(std::uint32_t value, std::uint8_t* out)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

bool keyEventCounts(std::uint32_t flags)
{
    return (flags & 0xFFFF) == 1 && !(flags & (1u << 29)) && (flags & (1u << 31));
}

bool ScanCodeHistory::capture(int scanCode)
{
    if (scanCode == last && scanCode == beforeLast)
        return false;
    beforeLast = last;
    last = scanCode;
    return true;
}

bool MouseHistory::fresh(std::uint32_t value)
{
    const bool counts = value != last && value != beforeLast;
    beforeLast = last;
    last = value;
    return counts;
}

std::uint32_t HookTiming::crc(std::uint32_t nowTick)
{
    std::uint8_t bytes[8];
    littleEndian(previousTick - nowTick, bytes);
    littleEndian(nowTick, bytes + 4);
    previousTick = nowTick;
    return crc32Update(0, bytes, sizeof bytes);
}

std::uint32_t keyEventValue(std::uint32_t flags, std::uint32_t timingCrc)
{
    std::uint8_t bytes[4];
    littleEndian(flags, bytes);
    return crypto::crc32(bytes) + timingCrc;
}

std::uint32_t mouseEventValue(const void* record) { return crc32Update(0, record, 20); }

}  // namespace kx
