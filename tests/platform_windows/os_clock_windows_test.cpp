#include "platform/os_clock_windows.h"

#include <gtest/gtest.h>

TEST(OsClock, SleepsTheDistanceToADeadlineAhead) {
    // clang-format off
    const struct { uint32_t now, deadline, ms; } cases[] = {
        {1000, 1001, 1}, {1000, 1000 + 0x7FFFFFFFu, 0x7FFFFFFFu}, {1000, 1000, 0},
        {1000, 1000 + 0x80000000u, 0}, {0xFFFFFFFEu, 3, 5}, {2, 0xFFFFFFF0u, 0}};
    // clang-format on
    for (const auto &c : cases) ASSERT_EQ(os_ms_until(c.now, c.deadline), c.ms) << c.deadline;
}
