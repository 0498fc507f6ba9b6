#include "default_signals.h"
#include "platform/process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

void say_atexit_ran() {
    std::fputs("atexit ran", stderr);
}

TEST(ProcessLinux, ExitGivesTheCodeAndRunsExitHandlers) {
    EXPECT_EXIT(
        {
            std::atexit(say_atexit_ran);
            process_exit(3);
        },
        testing::ExitedWithCode(3), "^atexit ran$");
}

// Raised during the shield, an ending signal ends the process with 128 + n at the shield's end;
// raised after it, at once; ignored at start, never. Lowering no shield does nothing.
TEST(ProcessLinux, ShieldHoldsCaughtSignalsAndLeavesIgnoredOnesIgnored) {
    enum Row { HELD, AFTER, IGNORED };
    for (const int number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP})
        for (const Row row : {HELD, AFTER, IGNORED}) {
            const auto body = [&] {
                default_ending_signals();
                if (row == IGNORED) signal(number, SIG_IGN);
                process_catch_signals();
                process_shield_end();
                process_shield_begin();
                if (row != AFTER) raise(number);
                std::fputs("held", stderr);
                process_shield_end();
                raise(number);
                std::fputs(", not ended", stderr);
                _exit(0);
            };
            if (row == HELD) {
                EXPECT_EXIT(body(), testing::ExitedWithCode(128 + number), "^held$");
            } else if (row == AFTER) {
                EXPECT_EXIT(body(), testing::KilledBySignal(number), "^held$");
            } else {
                EXPECT_EXIT(body(), testing::ExitedWithCode(0), "^held, not ended$");
            }
        }
}

TEST(ProcessLinux, ClosedOutputPipeDoesNotEndTheRun) {
    EXPECT_EXIT(
        {
            process_catch_signals();
            int ends[2];
            if (pipe(ends) != 0) _exit(90);
            close(ends[0]);
            if (write(ends[1], "x", 1) != -1 || errno != EPIPE) _exit(91);
            _exit(5);
        },
        testing::ExitedWithCode(5), "");
}

} // namespace
