#include "link/tick.h"
#include "platform/os_clock.h"
#include "platform/os_clock_linux.h"

#include <ctime>
#include <gtest/gtest.h>

namespace {

constexpr uint64_t MS = 1000000; // nanoseconds

TEST(OsWakeTime, IsTheStartOfTheDeadlineMillisecond) {
    const uint64_t now = 1000 * MS + 400000; // tick 1000, 0.4 ms into it
    EXPECT_EQ(os_wake_time_ns(now, 1001), 1001 * MS);
    EXPECT_EQ(os_wake_time_ns(now, 3000), 3000 * MS);
    EXPECT_EQ(os_wake_time_ns(now, 1000 + 0x7FFFFFFFu), (1000 + 0x7FFFFFFFull) * MS);
}

TEST(OsWakeTime, IsNowWhenTheCounterReadsTheDeadlineOrHasPassedIt) {
    const uint64_t now = 1000 * MS + 999999;
    EXPECT_EQ(os_wake_time_ns(now, 1000), now);
    EXPECT_EQ(os_wake_time_ns(now, 999), now);
    EXPECT_EQ(os_wake_time_ns(now, 1000 - 0x80000000u), now);
}

TEST(OsWakeTime, CountsOnAcrossThe32BitWrap) {
    for (const uint64_t now_ms : {0xFFFFFFFEull, 0x1FFFFFFFEull}) {
        const uint64_t now = now_ms * MS + 123;
        EXPECT_EQ(os_wake_time_ns(now, 0xFFFFFFFFu), (now_ms + 1) * MS);
        EXPECT_EQ(os_wake_time_ns(now, 0), (now_ms + 2) * MS);
        EXPECT_EQ(os_wake_time_ns(now, 3), (now_ms + 5) * MS);
        EXPECT_EQ(os_wake_time_ns(now, 0xFFFFFFF0u), now);
    }
}

uint32_t monotonic_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000 +
                                 static_cast<uint64_t>(now.tv_nsec) / MS);
}

TEST(OsClock, CountsTheMonotonicMilliseconds) {
    const uint32_t before = monotonic_ms();
    const uint32_t os_tick = os_tick_count();
    const uint32_t seam_tick = tick_count();
    const uint32_t after = monotonic_ms();
    EXPECT_LE(static_cast<uint32_t>(os_tick - before), static_cast<uint32_t>(after - before));
    EXPECT_LE(static_cast<uint32_t>(seam_tick - os_tick), static_cast<uint32_t>(after - os_tick));
}

// One short real sleep: no duration is measured, only that the counter has got there.
TEST(OsClock, SleepReturnsWithTheCounterAtTheDeadline) {
    const uint32_t deadline = tick_count() + 2;
    tick_sleep_until(deadline);
    EXPECT_LT(static_cast<uint32_t>(os_tick_count() - deadline), 0x80000000u);
}

} // namespace
