// What the pool's hooks take from key and mouse events, and the CRCs they add.
#include <cstdint>

#include <gtest/gtest.h>

#include "common/kx_random_crc.h"
#include "common/kx_random_hooks.h"

namespace kx_test {
namespace {

TEST(RandomHookRules, TheSameScanCodeIsTakenTwiceInARowAtMost)
{
    kx::ScanCodeHistory keys;
    EXPECT_TRUE(keys.capture(0x1E));
    EXPECT_TRUE(keys.capture(0x1E)) << "differs from the code before the last";
    EXPECT_FALSE(keys.capture(0x1E));
    EXPECT_FALSE(keys.capture(0x1E));
    EXPECT_TRUE(keys.capture(0x30));
    EXPECT_TRUE(keys.capture(0x1E));
    EXPECT_TRUE(keys.capture(0x1E));
    EXPECT_FALSE(keys.capture(0x1E));
}

TEST(RandomHookRules, CrcsOfTheStandardTable)
{
    // Without the standard CRC's inversions, and from any start.
    EXPECT_EQ(~kx::crc32Update(0xFFFFFFFF, "123456789", 9), 0xCBF43926u);
    EXPECT_EQ(kx::crc32Update(0, "", 0), 0u);

    // Table steps from 0 over (previous - now) and now, lowest bytes first.
    kx::HookTiming timing;
    EXPECT_EQ(timing.crc(1000), 0x33ADC1FDu);
    EXPECT_EQ(timing.previousTick, 1000u);
    EXPECT_EQ(timing.crc(1500), 0x2707FC41u);

    EXPECT_EQ(kx::keyEventValue(0xC01E0001, 0x33ADC1FD), 0xD6DD4516u + 0x33ADC1FDu);
}

TEST(RandomHookRules, TheMouseValueCoversTwentyBytes)
{
    std::uint8_t record[32] = {1, 2, 3};
    const std::uint32_t value = kx::mouseEventValue(record);
    record[25] = 0xAA;
    EXPECT_EQ(kx::mouseEventValue(record), value);
    record[19] = 0xAA;
    EXPECT_NE(kx::mouseEventValue(record), value);
    EXPECT_EQ(kx::mouseEventValue(record), kx::crc32Update(0, record, 20));
}

}  // namespace
}  // namespace kx_test
