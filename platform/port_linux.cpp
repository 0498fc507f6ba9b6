// Byte-wide port input and output on Linux. The link only ever addresses the five interface
// windows; any other port is a fault of the program and must not reach the bus, where some
// other device could answer it. Such a port, and every port before the windows are open,
// reads as 0xFF (nothing answers) and takes no write.
#include "link/port.h"
#include "platform/port_windows.h"

#if defined(__i386__) || defined(__x86_64__)
#include <sys/io.h>
#endif

bool port_windows_open = false;

namespace {

#if defined(__i386__) || defined(__x86_64__)
uint8_t bus_in(uint16_t port) {
    return inb(port);
}
void bus_out(uint16_t port, uint8_t value) {
    outb(value, port);
}
#else
// This machine has no I/O port space: nothing answers.
uint8_t bus_in(uint16_t) {
    return 0xFF;
}
void bus_out(uint16_t, uint8_t) {}
#endif

bool port_allowed(uint16_t port) {
    return port_windows_open && port_in_windows(port);
}

} // namespace

uint8_t port_read(uint16_t port) {
    return port_allowed(port) ? bus_in(port) : 0xFF;
}

void port_write(uint16_t port, uint8_t value) {
    if (port_allowed(port)) bus_out(port, value);
}
