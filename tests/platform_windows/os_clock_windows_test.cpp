#include "link/tick.h"
#include "platform/os_clock.h"
#include "platform/os_clock_windows.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(OsMsUntil, IsTheDistanceToADeadlineAhead) {
    EXPECT_EQ(os_ms_until(1000, 1001), 1u);
    EXPECT_EQ(os_ms_until(1000, 3000), 2000u);
    EXPECT_EQ(os_ms_until(1000, 1000 + 0x7FFFFFFFu), 0x7FFFFFFFu);
}

TEST(OsMsUntil, IsZeroWhenTheCounterReadsTheDeadlineOrHasPassedIt) {
    EXPECT_EQ(os_ms_until(1000, 1000), 0u);
    EXPECT_EQ(os_ms_until(1000, 999), 0u);
    EXPECT_EQ(os_ms_until(1000, 1000 - 0x80000000u), 0u);
    EXPECT_EQ(os_ms_until(1000, 1000 + 0x80000000u), 0u);
}

TEST(OsMsUntil, CountsOnAcrossThe32BitWrap) {
    EXPECT_EQ(os_ms_until(0xFFFFFFFEu, 0xFFFFFFFFu), 1u);
    EXPECT_EQ(os_ms_until(0xFFFFFFFEu, 0), 2u);
    EXPECT_EQ(os_ms_until(0xFFFFFFFEu, 3), 5u);
    EXPECT_EQ(os_ms_until(0xFFFFFFFEu, 0xFFFFFFF0u), 0u);
    EXPECT_EQ(os_ms_until(2, 0xFFFFFFF0u), 0u);
}

TEST(OsClock, IsTheSystemTickCounter) {
    const DWORD before = GetTickCount();
    const uint32_t os_tick = os_tick_count();
    const uint32_t seam_tick = tick_count();
    const DWORD after = GetTickCount();
    EXPECT_LE(static_cast<uint32_t>(os_tick - before), static_cast<uint32_t>(after - before));
    EXPECT_LE(static_cast<uint32_t>(seam_tick - os_tick), static_cast<uint32_t>(after - os_tick));
}

// A wrong difference would sleep for weeks here, and the test would end by its time-out.
TEST(OsClock, SleepReturnsAtOnceForADeadlineReachedOrPassed) {
    const uint32_t now = os_tick_count();
    tick_sleep_until(now);
    tick_sleep_until(now - 1000);
    tick_sleep_until(now + 0x80000000u);
    EXPECT_LT(static_cast<uint32_t>(os_tick_count() - now), 0x80000000u);
}

} // namespace
