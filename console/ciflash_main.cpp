// ciflash: the hardware program. It takes no arguments and ignores any given.
#include "console/startup.h"
#include "platform/console.h"
#include "platform/port_access.h"
#include "platform/process.h"

int main() {
    // Without the ports nothing can be done; the diagnosis is already on standard error.
    if (!port_access_open()) return 1;
    console_open();
    process_exit(program_entry());
}
