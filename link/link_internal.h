// Register helpers shared by the link's own files.
#pragma once
#include "link/ci_link.h"

inline uint16_t link_port(uint16_t offset) {
    return static_cast<uint16_t>(module_link.io_base + offset);
}
// Reads the status register into module_link.status, masked to the bits the link tests.
LinkResult link_read_status();
// Sets or clears one command bit in the shadow, then writes the whole shadow byte.
LinkResult link_set_command_bit(uint8_t bit);
LinkResult link_clear_command_bit(uint8_t bit);
