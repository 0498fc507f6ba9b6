// Ending the process, the same on every operating system.
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
