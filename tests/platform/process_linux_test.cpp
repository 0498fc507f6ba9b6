#include "platform/process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

// Raised in the shield: 128 + n at its end; after it: at once; ignored at start: never.
void shielded(int number, bool ignore, bool raise_held) {
    signal(number, ignore ? SIG_IGN : SIG_DFL);
    process_catch_signals();
    process_shield_end();
    process_shield_begin();
    if (raise_held) raise(number);
    std::fputs("held", stderr);
    process_shield_end();
    raise(number);
    std::fputs(", not ended", stderr);
    _exit(0);
}

TEST(ProcessLinux, ShieldHoldsCaughtSignalsAndLeavesIgnoredOnesIgnored) {
    for (const int number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGUSR2, SIGABRT, SIGTRAP, SIGSYS,
                             SIGSTKFLT, SIGRTMIN, SIGRTMIN + 1, SIGRTMAX}) {
        EXPECT_EXIT(shielded(number, false, true), testing::ExitedWithCode(128 + number), "^held$");
        EXPECT_EXIT(shielded(number, false, false), testing::KilledBySignal(number), "^held$");
        EXPECT_EXIT(shielded(number, true, true), testing::ExitedWithCode(0), "^held, not ended$");
    }
}

TEST(ProcessLinux, ClosedOutputPipeDoesNotEndTheRun) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    EXPECT_EXIT(
        (process_catch_signals(), _exit(write(ends[1], "x", 1) == -1 && errno == EPIPE ? 5 : 9)),
        testing::ExitedWithCode(5), "");
}

} // namespace
