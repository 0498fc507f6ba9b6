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

TEST(ProcessLinux, ShieldHoldsEachEndingSignalBackUntilItsEnd) {
    for (const int number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
        EXPECT_EXIT(
            {
                default_ending_signals();
                process_catch_signals();
                process_shield_begin();
                raise(number);
                std::fputs("held back", stderr);
                process_shield_end();
                std::fputs(", not ended", stderr);
                _exit(0);
            },
            testing::ExitedWithCode(128 + number), "^held back$")
            << number;
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

TEST(ProcessLinux, SignalIgnoredAtStartStaysIgnored) {
    EXPECT_EXIT(
        {
            signal(SIGHUP, SIG_IGN);
            process_catch_signals();
            raise(SIGHUP);
            _exit(7);
        },
        testing::ExitedWithCode(7), "");
}

} // namespace
