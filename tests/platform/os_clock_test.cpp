#include "platform/os_clock.h"
#include "platform/os_clock_linux.h"

#include <ctime>
#include <gtest/gtest.h>

constexpr uint64_t MS = 1000000;

TEST(OsClock, CountsMonotonicMillisecondsAndSleepsUntilTheDeadline) {
    const uint64_t now = 1000 * MS + 400000, wrap = 0x1FFFFFFFEull * MS + 123;
    // clang-format off
    const struct { uint64_t now; uint32_t deadline; uint64_t wake; } cases[] = {
        {now, 1001, 1001 * MS}, {now, 1000, now}, {now, 1000 - 0x80000000u, now},
        {now, 1000 + 0x7FFFFFFFu, (1000 + 0x7FFFFFFFull) * MS}, {wrap, 3, 0x200000003ull * MS},
        {wrap, 0xFFFFFFF0u, wrap}};
    // clang-format on
    for (const auto &c : cases) EXPECT_EQ(os_wake_time_ns(c.now, c.deadline), c.wake) << c.deadline;
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    const uint64_t ms = uint64_t(time.tv_sec) * 1000 + uint64_t(time.tv_nsec) / MS;
    EXPECT_LE(os_tick_count() - uint32_t(ms), 1u);
}
