// Misuses the I/O ports for ciflash-rehearse to refuse or pass on: "wrong-window" asks for 3
// ports per window, "outside" writes to port 0x80, "crash" reads 16 bits.
#include <cstring>
#include <sys/io.h>

#include "link/registers.h"
#include "platform/port_access.h"

int main(int argc, char **argv) {
    const char *mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "wrong-window") == 0) {
        for (const uint16_t base : IO_BASES) ioperm(base, IO_WINDOW - 1, 1);
    } else if (!port_access_open()) {
        return 1;
    }
    if (std::strcmp(mode, "outside") == 0) outb(0, 0x80);
    if (std::strcmp(mode, "crash") == 0) return inw(0x300);
    return inb(0x301);
}
