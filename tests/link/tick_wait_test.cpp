#include <gtest/gtest.h>

#include "link/tick.h"
#include "sim/sim_clock.h"

TEST(TickWait, EndsAtTheFirstTickThatIsFarEnough) {
    sim_clock_virtual = true;
    sim_clock_set_ms(1000);
    tick_wait(50);
    EXPECT_EQ(tick_count(), 1050u);
    tick_wait(1);
    EXPECT_EQ(tick_count(), 1051u);
}

TEST(TickWait, TheWrapNeitherEndsAWaitEarlyNorStretchesIt) {
    sim_clock_virtual = true;
    sim_clock_set_ms(0xFFFFFFFFu);
    tick_wait(1); // t + 1 wraps to 0: the wait still lasts one tick
    EXPECT_EQ(tick_count(), 0u);
    sim_clock_set_ms(0xFFFFFFF0u);
    tick_wait(50);
    EXPECT_EQ(tick_count(), 0x22u);
}
