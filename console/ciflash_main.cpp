// ciflash: the hardware program. Without arguments it runs the update; --help and --version
// answer without touching the ports or the screen.
#include "console/command_line.h"
#include "console/history.h"
#include "console/startup.h"
#include "platform/console.h"
#include "platform/port_access.h"
#include "platform/process.h"

int main(int argc, char **argv) {
    if (argc > 1) return answer_arguments(argc, argv);
    history_use_default();
    // Without the ports nothing can be done; the diagnosis is already on standard error.
    if (!port_access_open()) return history_refused("no access to the I/O ports");
    console_open();
    process_exit(program_entry());
}
