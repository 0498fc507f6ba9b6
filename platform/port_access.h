// Opening the I/O ports of the five interface windows for the hardware program.
#pragma once

// Asks the operating system for the five 4-port windows and no other port. On failure a
// diagnosis has been written to standard error and false is returned; nothing was drawn.
bool port_access_open();
