#include "platform/process.h"
#include "platform/process_windows.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// Outside a shield, and after one without an event, every event goes on; lowering none is harmless.
TEST(ConsoleEvents, GoOnToTheSystemsHandlerOutsideTheShield) {
    process_shield_end();
    process_shield_begin();
    process_shield_end();
    for (const DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT})
        EXPECT_EQ(process_console_event(event), FALSE) << event;
}

TEST(ConsoleEvents, AreHeldDuringTheShieldEvenWhenRaisedAgainAndEndTheProcessAtItsEnd) {
    for (const DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT})
        EXPECT_EXIT(
            {
                process_shield_begin();
                std::fputs(process_console_event(event) ? "held\n" : "not held\n", stderr);
                process_shield_begin();
                process_shield_end();
                std::exit(0);
            },
            testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)), "^held\n$")
            << event;
}

} // namespace
