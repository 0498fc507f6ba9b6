// Running a sealed program under ptrace: its ioperm and iopl calls are answered here and never
// reach the kernel, its port instructions and opens are judged, and it may not start a thread
// or a process. Every signal not judged reaches it unchanged.
#pragma once
#include <sys/types.h>

// How the supervised program ended.
struct ProgramEnd {
    bool started;    // its exec succeeded
    bool refused;    // stopped for breaking a rule; port_grant.refusal says which
    bool terminated; // killed after a second SIGTERM to the supervisor
    int exit_code;   // when it exited
    int signal;      // when a signal ended it (0 otherwise)
};

// From now on the supervisor ignores the terminal's interrupt and quit, which are the
// program's, and outlives a hang-up and a first SIGTERM, waiting for the program to end as it
// would alone; a second SIGTERM kills the program.
void supervise_hold_signals();

// Starts argv[0] (searched in PATH) sealed and under ptrace, with the signal actions the
// supervisor had before supervise_hold_signals and, when `output` is not -1, its standard
// output on that descriptor. Returns its pid, or -1 after a message on stderr.
pid_t supervise_start(char *const argv[], int output);

// Runs the program to its end. A refused run is killed before this returns.
ProgramEnd supervise_run(pid_t pid);
