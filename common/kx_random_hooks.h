// What the random pool's keyboard and mouse hooks take from an event. The
// rules keep held keys, repeated keys and a resting mouse from feeding the
// pool the same value over and over.
#pragma once

#include <cstdint>

namespace kx {

// A key event counts when its repeat count (bits 0-15) is 1, the context
// bit (29) is clear and the transition bit (31) is set.
bool keyEventCounts(std::uint32_t keystrokeFlags);
inline int scanCodeOf(std::uint32_t keystrokeFlags) { return (keystrokeFlags >> 16) & 0xFF; }

// The last two captured scan codes. A code is captured when it differs from
// the last one, or from the one before it.
struct ScanCodeHistory {
    int last = 0;
    int beforeLast = 0;
    bool capture(int scanCode);
};

// The last two mouse values; a value counts when it differs from both. The
// history moves on with every event, counted or not.
struct MouseHistory {
    std::uint32_t last = 0;
    std::uint32_t beforeLast = 0;
    bool fresh(std::uint32_t value);
};

// The CRC of the time since the previous captured event: table steps from 0
// over the four bytes of (previous - now) and then the four bytes of now,
// lowest first. now becomes the previous tick.
struct HookTiming {
    std::uint32_t previousTick = 0;
    std::uint32_t crc(std::uint32_t nowTick);
};

// The value a captured key event adds: the CRC-32 of its four flag bytes
// plus the timing CRC.
std::uint32_t keyEventValue(std::uint32_t keystrokeFlags, std::uint32_t timingCrc);

// Table steps from 0 over the first 20 bytes of the mouse event record.
std::uint32_t mouseEventValue(const void* record);

}  // namespace kx
