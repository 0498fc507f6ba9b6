// The five 4-port windows of the command interface (IO_BASES, IO_WINDOW ports each): the only
// ports the hardware program opens and the only ones it lets through to the bus.
#pragma once
#include "link/registers.h"

#include <cstdint>
#include <cstdio>
#include <string>

constexpr bool port_in_windows(uint16_t port) {
    for (const uint16_t base : IO_BASES)
        if (port >= base && port - base < IO_WINDOW) return true;
    return false;
}

// Set by port_access_open once every window is open and the capabilities are given up;
// until then port_read and port_write touch no port.
extern bool port_windows_open;

// The first words of every diagnosis when the windows cannot be opened, up to the reason.
inline std::string port_refusal_headline() {
    std::string text = "ciflash: cannot open the I/O ports";
    for (const uint16_t base : IO_BASES) {
        char window[16];
        std::snprintf(window, sizeof window, " 0x%X-0x%X", base, base + IO_WINDOW - 1);
        text += window;
    }
    return text + ": ";
}
