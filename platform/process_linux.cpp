// The signals that end or stop the process on Linux. An ending signal puts the console back
// first and then takes its default effect. While the shield is up, every signal that can be
// held and would end or stop the process is held back: ending signals end the run once the
// outcome is drawn, stop requests (Ctrl+Z, background reads and writes) are dropped. Holding
// is blocking, which spares the program's own faults: the system delivers a fault through a
// block (ending the process as by default), and abort() unblocks SIGABRT before raising it.
#include "platform/process.h"

#include "platform/console.h"

#include <csignal>
#include <iterator>

namespace {

constexpr int ENDING_SIGNALS[] = {
    SIGINT,    SIGQUIT, SIGTERM, SIGHUP,  SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
    SIGPROF,   SIGPOLL, SIGPWR,  SIGXCPU, SIGXFSZ, SIGABRT, SIGTRAP, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};
constexpr int STOP_SIGNALS[] = {SIGTSTP, SIGTTIN, SIGTTOU};

// The signals held back while the shield is up; empty when it is down.
sigset_t held_signals;
bool shield_up = false;

// The ending signals in the order in which a held one ends the run: the list, then every
// real-time signal; 0 past the last.
int ending_signal(int index) {
    constexpr int LISTED = static_cast<int>(std::size(ENDING_SIGNALS));
    if (index < LISTED) return ENDING_SIGNALS[index];
    const int real_time = SIGRTMIN + index - LISTED;
    return real_time <= SIGRTMAX ? real_time : 0;
}

bool ignored(int number) {
    struct sigaction current {};
    sigaction(number, nullptr, &current);
    return current.sa_handler == SIG_IGN;
}

// Adds the signal unless it is ignored: an ignored signal that was blocked would be kept
// pending, and would end the run at the end of the shield.
void add_heeded(sigset_t &set, int number) {
    if (!ignored(number)) sigaddset(&set, number);
}

sigset_t heeded_ending_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int index = 0; const int number = ending_signal(index); ++index) add_heeded(set, number);
    return set;
}

// The signal stays blocked while its handler runs: raised again here, it ends the process
// with its default action as soon as the handler returns.
void end_by_signal(int number) {
    console_restore();
    run_ended_by_signal(number, 128 + number);
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
    action.sa_mask = heeded_ending_signals();
    for (int index = 0; const int number = ending_signal(index); ++index)
        if (sigismember(&action.sa_mask, number)) sigaction(number, &action, nullptr);
}

void process_shield_begin() {
    if (shield_up) return;
    held_signals = heeded_ending_signals();
    for (const int number : STOP_SIGNALS) add_heeded(held_signals, number);
    sigprocmask(SIG_BLOCK, &held_signals, nullptr);
    shield_up = true;
}

// An ending signal held back by the shield ends the process now, through the normal exit
// (with the shell's code for a signal), so that output is flushed and exit handlers run. A
// held stop request is discarded: ignoring a pending signal drops it, and its action is then
// put back as it was.
void process_shield_end() {
    if (!shield_up) return;
    sigset_t pending;
    sigpending(&pending);
    for (int index = 0; const int number = ending_signal(index); ++index)
        if (sigismember(&held_signals, number) && sigismember(&pending, number))
            process_exit(128 + number);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction kept {};
    for (const int number : STOP_SIGNALS) {
        sigaction(number, &ignore, &kept);
        sigaction(number, &kept, nullptr);
    }
    sigprocmask(SIG_UNBLOCK, &held_signals, nullptr);
    shield_up = false;
}
