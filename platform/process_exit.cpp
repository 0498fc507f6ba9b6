// Ending the process, the same on every operating system: output flushed, the console put
// back and the run's end recorded before the exit.
#include "platform/process.h"

#include <cstdio>
#include <cstdlib>

#include "platform/console.h"

void process_exit(int code) {
    std::fflush(stdout);
    console_restore();
    run_ended(code);
    std::exit(code);
}
