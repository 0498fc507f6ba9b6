#include "platform/process.h"
#include "platform/process_windows.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

TEST(ConsoleEvents, GoOnOutsideTheShieldAndAreHeldDuringIt) {
    for (const DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT})
        EXPECT_EXIT(
            {
                process_shield_begin();
                process_shield_end();
                std::fputs(process_console_event(event) ? "held, " : "passed, ", stderr);
                process_shield_begin();
                std::fputs(process_console_event(event) ? "held" : "passed", stderr);
                process_shield_begin();
                process_shield_end();
                std::exit(0);
            },
            testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)), "^passed, held$")
            << event;
}

} // namespace
