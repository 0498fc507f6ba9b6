// Ending the process, the same on every operating system: output flushed, the console put
// back and the update history's ended record written before the exit.
#include "platform/process.h"

#include <cstdio>
#include <cstdlib>

#include "run/history.h"
#include "platform/console.h"

void process_exit(int code) {
    std::fflush(stdout);
    console_restore();
    history_ended(code);
    std::exit(code);
}
