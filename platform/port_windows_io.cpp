// Byte-wide port input and output on Windows, through the port driver's DLL. As on Linux,
// only the five interface windows reach the bus: any other port, and every port before the
// driver is open, reads as 0xFF (nothing answers) and takes no write.
#include "link/port.h"
#include "platform/inpout.h"
#include "platform/port_windows.h"

bool port_windows_open = false;
InpOut inpout{};

namespace {

bool port_allowed(uint16_t port) {
    return port_windows_open && port_in_windows(port);
}

} // namespace

uint8_t port_read(uint16_t port) {
    if (!port_allowed(port)) return 0xFF;
    return static_cast<uint8_t>(inpout.inp32(static_cast<short>(port)));
}

void port_write(uint16_t port, uint8_t value) {
    if (port_allowed(port)) inpout.out32(static_cast<short>(port), static_cast<short>(value));
}
