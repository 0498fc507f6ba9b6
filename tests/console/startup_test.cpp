#include <gtest/gtest.h>

#include "console/screen.h"
#include "console/startup.h"
#include "link/ci_link.h"
#include "protocol/run_state.h"
#include "tests/support/sim_harness.h"

// Runs the dialogue; returns the exit code, -1 when it went on to the identification.
static int dialogue(const SimConfig &config, std::initializer_list<int> keys) {
    harness_reset(config);
    harness_keys(keys);
    return run_until_exit([] { startup_dialogue(); });
}

static const std::string BANNER_ROW = std::string(" ").append(BANNER);
static const std::string PROMPT_15 = " PLEASE, INSERT A DVB MODULE";
static const std::string PROMPT_16 = " AND WAIT FOR THE BEEPS BEFORE PRESSING 'SPACE BAR'";

TEST(StartupDialogue, ModuleInTheReaderGoesStraightOn) {
    EXPECT_EQ(dialogue({}, {}), -1);
    EXPECT_EQ(vscreen.keys_read, 0);
    EXPECT_EQ(vscreen.clears, 1);
    EXPECT_EQ(vscreen_dump(), "1: " + BANNER_ROW + "\n3:  INITIALISATION\n");
    EXPECT_EQ(vscreen_row(1), BANNER_ROW);
    EXPECT_EQ(buffer_size, 256);
}

TEST(StartupDialogue, EmptyReaderShowsThePrompt) {
    EXPECT_EQ(dialogue({.no_module = true}, {'Q'}), 0);
    EXPECT_EQ(vscreen_row(3), " INITIALISATION");
    EXPECT_EQ(vscreen_row(15), PROMPT_15);
    EXPECT_EQ(vscreen_row(16), PROMPT_16);
    EXPECT_EQ(vscreen_row(24), " EXIT WITH 'Q'");
}

TEST(StartupDialogue, EscAtThePromptGoesOnWithoutASecondDetection) {
    EXPECT_EQ(dialogue({.no_module = true}, {'x', 27}), -1);
    EXPECT_EQ(sim_record.port_reads, 15u); // one probe of the five bases
    EXPECT_EQ(vscreen_row(20), "");
}

TEST(StartupDialogue, SpaceAfterInsertingDetectsTheModule) {
    EXPECT_EQ(dialogue({.late_insert = true}, {' '}), -1);
    EXPECT_EQ(module_link.present, 1);
    EXPECT_EQ(buffer_size, 256);
    EXPECT_EQ(vscreen_row(20), "");
}

TEST(StartupDialogue, SecondFailureDrawsTheErrorOverThePromptAndIgnoresSpace) {
    EXPECT_EQ(dialogue({.no_module = true}, {' ', ' ', ' ', 'a', 3, 27}), -1);
    EXPECT_EQ(vscreen.keys_read, 6);
    EXPECT_EQ(vscreen_row(1), BANNER_ROW);
    EXPECT_EQ(vscreen_row(15), PROMPT_15);
    EXPECT_EQ(vscreen_row(16), PROMPT_16);
    EXPECT_EQ(vscreen_row(20), " DVB MODULE INITIALISATION ERROR !!!");
    EXPECT_EQ(vscreen_row(24), " EXIT WITH 'Q'");
    EXPECT_EQ(vscreen.clears, 1);
}

TEST(StartupDialogue, QuitKeysEndItWithZeroAtEitherWait) {
    for (auto keys :
         {std::initializer_list<int>{'q'}, {0xE0, 0x51}, {0, 0x71}, {' ', 'Q'}, {' ', ' ', 'q'}})
        EXPECT_EQ(dialogue({.no_module = true}, keys), 0);
}
