// Running a program under ptrace: its ioperm and iopl system calls are answered here and never
// reach the kernel, its faulting port instructions are served from the simulated module, and
// every other signal reaches it unchanged.
#pragma once
#include <csignal>
#include <sys/types.h>

// How the supervised program ended.
struct ProgramEnd {
    bool refused;  // stopped by the supervisor; port_grant.refusal says why
    int exit_code; // when it exited
    int signal;    // when a signal ended it (0 otherwise)
};

// Starts argv[0] (searched in PATH) under ptrace, with `interrupt` and `quit` as the signal
// actions for SIGINT and SIGQUIT. Returns its pid, or -1 after a message on stderr.
pid_t supervise_start(char *const argv[], const struct sigaction &interrupt,
                      const struct sigaction &quit);

// Runs the program to its end. A refused run is killed before this returns.
ProgramEnd supervise_run(pid_t pid);
