#include "tests/support/scripted_port.h"

#include <cstdio>

#include "link/port.h"
#include "sim/sim_clock.h"

static std::vector<PortStep> steps;
static size_t next_step;
static std::vector<std::string> mismatches;

void script_reset() {
    steps.clear();
    next_step = 0;
    mismatches.clear();
}

void script_read(uint16_t port, uint8_t value) {
    steps.push_back({'R', port, value});
}
void script_write(uint16_t port, uint8_t value) {
    steps.push_back({'W', port, value});
}
void script_present(uint16_t base, uint8_t status) {
    script_read(static_cast<uint16_t>(base + 1), status);
}

size_t script_remaining() {
    return steps.size() - next_step;
}
const std::vector<std::string> &script_mismatches() {
    return mismatches;
}

static void mismatch(char direction, uint16_t port, uint8_t value) {
    char text[120];
    if (next_step < steps.size()) {
        const PortStep &s = steps[next_step];
        std::snprintf(text, sizeof text,
                      "step %zu: got %c 0x%03x 0x%02x, expected %c 0x%03x 0x%02x", next_step,
                      direction, port, value, s.direction, s.port, s.value);
    } else {
        std::snprintf(text, sizeof text, "step %zu: got %c 0x%03x 0x%02x beyond the script",
                      next_step, direction, port, value);
    }
    mismatches.push_back(text);
}

uint8_t port_read(uint16_t port) {
    sim_clock_bus_cycle();
    if (next_step >= steps.size() || steps[next_step].direction != 'R' ||
        steps[next_step].port != port) {
        mismatch('R', port, 0);
        return 0xFF;
    }
    return steps[next_step++].value;
}

void port_write(uint16_t port, uint8_t value) {
    sim_clock_bus_cycle();
    if (next_step >= steps.size() || steps[next_step].direction != 'W' ||
        steps[next_step].port != port || steps[next_step].value != value) {
        mismatch('W', port, value);
        return;
    }
    ++next_step;
}
