// Ending the process on Linux, and the signals that end it: interrupt, quit, terminate and
// hang-up put the console back first and then take their default effect.
#include "platform/process.h"

#include "console/history.h"
#include "platform/console.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int ENDING_SIGNALS[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

// The signals held back while the shield is up; empty when it is down.
sigset_t held_signals;
bool shield_up = false;

bool ignored(int number) {
    struct sigaction current {};
    sigaction(number, nullptr, &current);
    return current.sa_handler == SIG_IGN;
}

// The ending signals that are not ignored: an ignored signal that was blocked would be kept
// pending, and would end the run at the end of the shield.
sigset_t caught_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int number : ENDING_SIGNALS)
        if (!ignored(number)) sigaddset(&set, number);
    return set;
}

// The signal stays blocked while its handler runs: raised again here, it ends the process
// with its default action as soon as the handler returns.
void end_by_signal(int number) {
    console_restore();
    history_ended_by_signal(number, 128 + number);
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
    action.sa_mask = caught_signals();
    for (const int number : ENDING_SIGNALS)
        if (sigismember(&action.sa_mask, number)) sigaction(number, &action, nullptr);
}

void process_exit(int code) {
    std::fflush(stdout);
    console_restore();
    history_ended(code);
    std::exit(code);
}

void process_shield_begin() {
    if (shield_up) return;
    held_signals = caught_signals();
    sigprocmask(SIG_BLOCK, &held_signals, nullptr);
    shield_up = true;
}

// A signal held back by the shield ends the process now, through the normal exit (with the
// shell's code for a signal), so that output is flushed and exit handlers run.
void process_shield_end() {
    if (!shield_up) return;
    sigset_t pending;
    sigpending(&pending);
    for (const int number : ENDING_SIGNALS)
        if (sigismember(&held_signals, number) && sigismember(&pending, number))
            process_exit(128 + number);
    sigprocmask(SIG_UNBLOCK, &held_signals, nullptr);
    shield_up = false;
}
