#include <gtest/gtest.h>

#include <cstring>

#include "console/screen.h"
#include "platform/console.h"
#include "tests/support/virtual_screen.h"

TEST(Banner, StartsWithTheProgramsTitleAndFitsTheRow) {
    EXPECT_EQ(std::strncmp(BANNER, "RIV IZEVEZ EDURAVA ZUZERA V6.00   ", 34), 0);
    EXPECT_NE(BANNER[34], ' ');
    EXPECT_LE(std::strlen(BANNER), 79u);
}

TEST(ScreenLine, OverwritesOnlyTheCellsItCovers) {
    vscreen_reset();
    screen_line(3, "INITIALISATION");
    screen_line(3, "ABC");
    EXPECT_EQ(vscreen_row(3), " ABCTIALISATION");
    EXPECT_EQ(vscreen_text(0, 3, 1), " ");
}

static int wait_key_with(std::initializer_list<int> keys, uint8_t *key) {
    vscreen_reset();
    vscreen.keys = keys;
    return run_until_exit([&] { *key = wait_key(); });
}

TEST(WaitKey, ReturnsEscOrSpaceAndIgnoresEverythingElse) {
    uint8_t key = 0;
    EXPECT_EQ(wait_key_with({'a', 3, KEY_FAILED, 0, 0x3B, 0xE0, 0x48, 13, 27}, &key), -1);
    EXPECT_EQ(key, 27);
    EXPECT_EQ(vscreen.keys_read, 9);
    EXPECT_EQ(wait_key_with({'x', 32}, &key), -1);
    EXPECT_EQ(key, 32);
    EXPECT_EQ(vscreen_dump(), ""); // nothing echoed
}

TEST(WaitKey, QuitKeysEndTheProcessWithZero) {
    uint8_t key = 0;
    // Q, q, Page Down (0xE0 0x51) and Alt+F10 (0 0x71): judged code by code.
    for (auto keys : {std::initializer_list<int>{'Q'}, {'q'}, {0xE0, 0x51}, {0, 0x71}}) {
        EXPECT_EQ(wait_key_with(keys, &key), 0);
        EXPECT_TRUE(vscreen.keys.empty());
    }
}

TEST(WaitKey, NoKeyboardAtAllEndsLikeQ) {
    uint8_t key = 0;
    EXPECT_EQ(wait_key_with({KEY_LOST}, &key), 0);
}

TEST(WaitEscape, OnlyEscapeOrALostKeyboardLeave) {
    vscreen_reset();
    vscreen.keys = {'Q', 'q', ' ', 0xE0, 0x51, 3, KEY_FAILED, 27, 'x'};
    EXPECT_EQ(run_until_exit([] { wait_escape(); }), -1);
    EXPECT_EQ(vscreen.keys_read, 8);
    vscreen.keys = {'Q', KEY_LOST};
    EXPECT_EQ(run_until_exit([] { wait_escape(); }), -1);
}
