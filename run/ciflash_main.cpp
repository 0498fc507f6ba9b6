// Every refusal comes before the first port access, on standard error, with exit code 1.
#include <cstring>

#include "platform/console.h"
#include "platform/port_access.h"
#include "platform/process.h"
#include "platform/reader_lock.h"
#include "run/command_line.h"
#include "run/history.h"
#include "run/startup.h"

int main(int argc, char **argv) {
    const bool no_history = argc == 2 && std::strcmp(argv[1], "--no-history") == 0;
    // Only opening the port windows runs privileged: every capability is given up before
    // anything else is done.
    if (argc > 1 && !no_history) return port_access_none() ? answer_arguments(argc, argv) : 1;
    const bool ports_open = port_access_open();
    if (!history_use_default(no_history)) return 1;
    // Each refusal has said on standard error what it found and what to do.
    if (!ports_open) return history_refused("no access to the I/O ports");
    if (!console_size_check("ciflash")) return history_refused("terminal too small");
    if (!reader_lock_take()) return history_refused("reader used by another ciflash");
    console_open();
    process_exit(program_entry());
}
