#include <gtest/gtest.h>

#include "console/screen.h"
#include "tests/support/sim_harness.h"

static int run_program(const SimConfig &config, std::initializer_list<int> keys) {
    harness_reset(config);
    harness_keys(keys);
    return harness_run_program();
}

TEST(UpdateRun, SuccessScreenOnACleanedScreenAndOnlyEscOrQLeave) {
    for (int leave : {27, int{'Q'}, int{'q'}}) {
        EXPECT_EQ(run_program({.erase_ms = 0}, {' ', ' ', 'x', leave}), 0);
        EXPECT_EQ(vscreen_dump(), "1:  " + std::string(BANNER) +
                                      "\n15:  UPDATE SUCCESSFULL.\n24:  EXIT WITH 'Q'\n");
        EXPECT_EQ(vscreen_text(1, 15, 20), "UPDATE SUCCESSFULL. ");
        EXPECT_TRUE(vscreen.keys.empty());
    }
}

TEST(UpdateRun, ErrorScreenAfterTheUpdatesOwnScreen) {
    SimConfig config;
    config.events.push_back({SIM_REPLY_SW, 0, 1, 0x6700});
    for (int leave : {27, int{'q'}}) {
        run_program(config, {27, ' ', leave});
        EXPECT_TRUE(vscreen.keys.empty());
        EXPECT_EQ(vscreen_dump(),
                  "1:  " + std::string(BANNER) + "\n20:  UPDATE ERROR !!!\n24:  EXIT WITH 'Q'\n");
    }
    EXPECT_EQ(run_program(config, {27, 27}), 0);
}

TEST(UpdateRun, RefusedProcessorEndsWithOneBeforeAnyFlashWrite) {
    EXPECT_EQ(run_program({.processor = "52"}, {}), 1);
    EXPECT_EQ(sim_record.frames, 0);
    EXPECT_EQ(vscreen_row(20), " Wrong processor !!!");
}

TEST(UpdateRun, AfterTheInitialisationErrorTheRunStillEndsOnAnOutcomeScreen) {
    // No module: the identification finds it gone at once, and no frame can be formed from
    // a buffer size that was never negotiated.
    EXPECT_EQ(run_program({.no_module = true}, {' ', 27, 27, 27}), 0);
    EXPECT_TRUE(vscreen.keys.empty());
    EXPECT_EQ(vscreen_row(20), " UPDATE ERROR !!!");
    EXPECT_EQ(sim_record.frames, 0);
}

TEST(UpdateRun, SignalHeldDuringTheWriteEndsTheRunOnceItsLastScreenIsDrawn) {
    const struct {
        SimBlockEvent event;
        int row;
        const char *text;
    } cases[] = {
        {{SIM_REPLY_SW, 0, 1, 0x9000}, 15, " UPDATE SUCCESSFULL."},
        {{SIM_REPLY_SW, 1, 17, 0x6400}, 3, " Flash memory error"},
        {{SIM_HANG, 0, 5, 0}, 19, " DVB Module Dialog Error"},
    };
    for (const auto &c : cases) {
        SimConfig config;
        config.events.push_back(c.event);
        harness_reset(config);
        vscreen.held_signal = 15;
        EXPECT_EQ(harness_run_program(), 128 + 15);
        EXPECT_EQ(vscreen_row(c.row), c.text);
        EXPECT_EQ(vscreen.keys_read, 0);
    }
}
