// A port fake that checks every access against a script: each step names the direction, the
// port and the value (returned for a read, expected for a write).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct PortStep {
    char direction; // 'R' or 'W'
    uint16_t port;
    uint8_t value;
};

void script_reset();
void script_read(uint16_t port, uint8_t value);
void script_write(uint16_t port, uint8_t value);
// The presence check at `base` finds the module through its status byte.
void script_present(uint16_t base, uint8_t status = 0x40);
// Steps not yet consumed, and accesses made beyond the script or against it.
size_t script_remaining();
const std::vector<std::string> &script_mismatches();
