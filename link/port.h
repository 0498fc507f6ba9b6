// Byte-wide I/O port access: the seam between the Module link and the machine.
// One implementation is linked into each program: the real ports (platform/) or the
// simulated module (sim/). Each call makes exactly one bus access, in program order.
#pragma once
#include <cstdint>

uint8_t port_read(uint16_t port);
void port_write(uint16_t port, uint8_t value);
