// Ending the process on Linux, and the signals that end it: interrupt, quit, terminate and
// hang-up put the console back first and then take their default effect.
#include "platform/process.h"

#include "platform/console.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int ENDING_SIGNALS[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

sigset_t ending_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int number : ENDING_SIGNALS) sigaddset(&set, number);
    return set;
}

// The signal stays blocked while its handler runs: raised again here, it ends the process
// with its default action as soon as the handler returns.
void end_by_signal(int number) {
    console_restore();
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(number, &default_action, nullptr);
    raise(number);
}

} // namespace

void process_catch_signals() {
    // A closed output pipe (`ciflash | tee log` interrupted) must not end the run mid-write:
    // output errors are ignored like any other failed write.
    signal(SIGPIPE, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = end_by_signal;
    action.sa_mask = ending_signals();
    for (const int number : ENDING_SIGNALS) {
        struct sigaction previous {};
        sigaction(number, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN) continue; // left ignored, as by nohup
        sigaction(number, &action, nullptr);
    }
}

void process_exit(int code) {
    std::fflush(stdout);
    console_restore();
    std::exit(code);
}

void process_shield_begin() {
    const sigset_t set = ending_signals();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

// A signal held back during the write phase ends the process now, through the normal exit
// (with the shell's code for a signal), so that output is flushed and exit handlers run.
void process_shield_end() {
    sigset_t pending;
    sigpending(&pending);
    for (const int number : ENDING_SIGNALS)
        if (sigismember(&pending, number)) process_exit(128 + number);
    const sigset_t set = ending_signals();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}
