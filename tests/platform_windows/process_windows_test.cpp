#include "platform/process.h"
#include "platform/process_windows.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

const int INTERRUPTED = static_cast<int>(STATUS_CONTROL_C_EXIT);

// Outside the shield, and after a shield without an event, which ends without ending the
// process, every event goes on.
TEST(ConsoleEvents, GoOnToTheSystemsHandlerOutsideTheShield) {
    for (const DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT})
        EXPECT_EQ(process_console_event(event), FALSE) << event;
    process_shield_begin();
    process_shield_end();
    EXPECT_EQ(process_console_event(CTRL_C_EVENT), FALSE);
}

TEST(ConsoleEvents, AreHeldDuringTheShieldAndEndTheProcessAtItsEnd) {
    EXPECT_EXIT(
        {
            process_shield_begin();
            const BOOL held =
                process_console_event(CTRL_C_EVENT) && process_console_event(CTRL_BREAK_EVENT);
            std::fputs(held ? "still running\n" : "not held\n", stderr);
            process_shield_end();
            std::fputs("after the shield\n", stderr);
            std::exit(0);
        },
        testing::ExitedWithCode(INTERRUPTED), "still running\n$");
}

} // namespace
