#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "console/screen.h"
#include "protocol/page_image.h"
#include "protocol/run_state.h"
#include "tests/protocol/update_harness.h"

static std::string block_line(int number, int count) {
    char text[40];
    std::snprintf(text, sizeof text, "Block Number = %03d / %03d", number, count);
    return text;
}

TEST(FlashUpdate, BlockCountsAndPaddingFollowTheBufferSize) {
    const struct {
        uint16_t buffer;
        int blocks0, blocks1;
    } cases[] = {
        {32, 2531, 2504}, {128, 490, 484}, {256, 236, 234}, {10, 58210, 57592}, {259, 233, 231}};
    for (const auto &c : cases) {
        EXPECT_EQ(run_update({.module_buffer = c.buffer}, {}), 0) << c.buffer;
        EXPECT_EQ(sim_record.pages[0].blocks, c.blocks0);
        EXPECT_EQ(sim_record.pages[1].blocks, c.blocks1);
        EXPECT_TRUE(sim_page_matches_image(0)) << c.buffer;
        EXPECT_TRUE(sim_page_matches_image(1)) << c.buffer;
        EXPECT_EQ(sim_record.pages[0].data.size(),
                  static_cast<size_t>(c.blocks0) * (c.buffer - 9u));
        EXPECT_EQ(sim_record.frames, c.blocks0 + c.blocks1);
        EXPECT_TRUE(sim_record.protocol_errors.empty()) << sim_record.protocol_errors.at(0);
        EXPECT_EQ(vscreen_dump(), ""); // cleared before the return
        EXPECT_EQ(vscreen.shield_begins, 1);
        EXPECT_TRUE(vscreen.shielded); // lowered once the outcome is on screen
    }
}

TEST(FlashUpdate, PhaseAndProgressRowsThroughBothPages) {
    ASSERT_EQ(run_update({.module_buffer = 128}, {}), 0);
    const std::vector<std::string> row3 = vscreen_writes_at(3);
    const std::string blank(45, ' ');
    EXPECT_EQ(row3, (std::vector<std::string>{"Erasing flash memory page 0 under process", blank,
                                              "Update code page 0 under process",
                                              "Erasing flash memory page 1 under process", blank,
                                              "Update code page 1 under process"}));
    const std::vector<std::string> row4 = vscreen_writes_at(4);
    ASSERT_EQ(row4.size(), 490u + 484u);
    EXPECT_EQ(row4.front(), block_line(1, 490));
    EXPECT_EQ(row4[489], block_line(490, 490));
    EXPECT_EQ(row4[490], block_line(1, 484));
    EXPECT_EQ(row4.back(), block_line(484, 484));
    EXPECT_EQ(vscreen_writes_at(1).size(), 2u); // the banner at each page's start
}

TEST(FlashUpdate, FrameModeFromTheIdentificationIsInEveryFrame) {
    ASSERT_EQ(run_update({.bios = "1.05"}, {}), 0);
    EXPECT_EQ(sim_record.frame_mode, 0);
    ASSERT_EQ(run_update({.bios = "1.07"}, {}), 0);
    EXPECT_EQ(sim_record.frame_mode, 1);
    ASSERT_EQ(run_update({.module_buffer = 200, .silent_identify = true}, {}), 0);
    EXPECT_EQ(sim_record.frame_mode, 0);
    EXPECT_EQ(sim_record.negotiated, 128);
}

struct ErrorScreen {
    uint16_t sw;
    const char *row3, *row4, *row5;
};

constexpr const char *INCONSISTENCY = "Inconsistance error ";
constexpr const char *SUPPORT = "Contact Zolvant technical support!!!";
constexpr ErrorScreen ERROR_SCREENS[] = {
    {0x6481, INCONSISTENCY, SUPPORT, nullptr},
    {0x6400, "Flash memory error ", "You can restart update process.",
     "CAUTION: Please, remove DVB Module from PCMCIA Reader before starting update process!!"},
    {0x6581, "Critical Flash memory error ", SUPPORT, nullptr},
    {0x6500, INCONSISTENCY, SUPPORT, nullptr},
    {0x6700, "Length Block error. ", "Please, check if your file is correct.", nullptr},
    {0x6701, INCONSISTENCY, SUPPORT, nullptr},
    {0x6E00, INCONSISTENCY, SUPPORT, nullptr},
};

// A message as its row reads on the screen: from column 1, trailing blanks not told apart.
static std::string at_column_1(const char *text) {
    std::string row = text ? std::string(" ") + text : "";
    return row.erase(row.find_last_not_of(' ') + 1);
}

TEST(FlashUpdate, EachErrorReplyHasItsScreenAndOnlyEscLeavesIt) {
    for (const ErrorScreen &e : ERROR_SCREENS) {
        for (int page = 0; page < 2; ++page) {
            const int block = page == 0 ? 1 : 17;
            SimConfig config{.module_buffer = 128};
            config.events.push_back({SIM_REPLY_SW, page, block, e.sw});
            EXPECT_EQ(run_update(config, {'Q', 'q', ' ', 0xE0, 0x51}), -2);
            SCOPED_TRACE(vscreen_dump());
            EXPECT_EQ(vscreen_row(3), at_column_1(e.row3));
            EXPECT_EQ(vscreen_row(4), at_column_1(e.row4));
            // Row 5 is empty unless the caution line is there; at 86 characters it wraps.
            EXPECT_EQ(vscreen_writes_at(5),
                      e.row5 ? std::vector<std::string>{e.row5} : std::vector<std::string>{});
            if (e.row5) {
                EXPECT_EQ(vscreen_row(5) + vscreen_row(6), at_column_1(e.row5));
            }
            EXPECT_EQ(vscreen_row(20), " Exit: ESC");
            EXPECT_EQ(vscreen.keys_read, 5);
            EXPECT_EQ(sim_record.frames, (page == 0 ? 0 : 490) + block);
            EXPECT_EQ(sim_record.frames_after_error, 0);

            EXPECT_EQ(run_update(config, {' ', 27}), 1);
            EXPECT_EQ(vscreen_dump(), "");
            EXPECT_EQ(vscreen.keys_read_shielded, 0);
        }
    }
}

TEST(FlashUpdate, OkStatusIsAcceptedWhateverItsDetail) {
    SimConfig config;
    config.events.push_back({SIM_REPLY_SW, 0, 1, 0x9012});
    config.events.push_back({SIM_REPLY_SW, 1, 234, 0x90FF});
    EXPECT_EQ(run_update(config, {}), 0);
    EXPECT_TRUE(sim_page_matches_image(1));
}

TEST(FlashUpdate, ModuleRemovedMidPageEndsOnTheInconsistencyScreen) {
    SimConfig config;
    config.events.push_back({SIM_REMOVE, 0, 100, 0});
    EXPECT_EQ(run_update(config, {}), -2);
    EXPECT_EQ(vscreen_row(3), at_column_1(INCONSISTENCY));
    EXPECT_EQ(vscreen_row(4), at_column_1(SUPPORT));
    EXPECT_EQ(vscreen_row(20), " Exit: ESC");
    EXPECT_EQ(sim_record.frames, 99);
}

TEST(FlashUpdate, BufferSizeThatCannotCarryAFrameSendsNothing) {
    for (uint16_t size : {uint16_t{0}, uint16_t{9}}) {
        harness_reset();
        harness_detect();
        buffer_size = size;
        screen_line(20, "DVB MODULE INITIALISATION ERROR !!!"); // left by the start-up
        EXPECT_THROW(flash_update(), KeysExhausted);
        EXPECT_EQ(vscreen_dump(), "1:  " + std::string(BANNER) + "\n3:  Inconsistance error\n4:  " +
                                      SUPPORT + "\n20:  Exit: ESC\n");
        EXPECT_EQ(sim_record.frames, 0);
        EXPECT_EQ(vscreen.shield_begins, 0);
    }
}

TEST(FlashUpdate, ReplyThatCannotBeReadIsADialogError) {
    SimConfig config;
    config.events.push_back({SIM_READ_ERROR, 1, 5, 0});
    EXPECT_EQ(run_update(config, {}), -2);
    EXPECT_EQ(vscreen_row(19), " DVB Module Dialog Error");
    EXPECT_EQ(vscreen_row(20), " Exit: ESC");
    EXPECT_EQ(vscreen_row(3), " Update code page 1 under process");
    EXPECT_EQ(vscreen_row(4), " Block Number = 005 / 234");
}

TEST(FlashUpdate, SilentModuleIsGivenUpAfterThirtySeconds) {
    for (SimEventKind kind : {SIM_HANG, SIM_BUSY}) {
        SimConfig config;
        config.events.push_back({kind, 0, 7, 0});
        EXPECT_EQ(run_update(config, {}), -2);
        EXPECT_EQ(vscreen_row(19), " DVB Module Dialog Error");
        EXPECT_EQ(vscreen_row(20), " Exit: ESC");
        EXPECT_EQ(vscreen_row(4), " Block Number = 007 / 236");
        EXPECT_EQ(sim_record.frames, kind == SIM_HANG ? 7 : 6);
    }
}

TEST(FlashUpdate, WriteErrorResetsTheInterfaceAndAwaitsTheReply) {
    SimConfig config;
    config.events.push_back({SIM_WRITE_ERROR, 0, 3, 0});
    EXPECT_EQ(run_update(config, {}), -2);
    EXPECT_EQ(vscreen_row(18), " DVB Module Dialog Error");
    EXPECT_EQ(vscreen_row(19), " DVB Module Dialog Error"); // over "Try to send data again"
    EXPECT_EQ(vscreen_writes_at(19).at(1), "Try to send data again"); // after the processor line
    EXPECT_EQ(sim_record.negotiated, 256); // the reset ran: the module offered 256 again
    EXPECT_TRUE(sim_record.protocol_errors.empty());
}
