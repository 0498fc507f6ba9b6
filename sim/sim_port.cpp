// The port seam of ciflash-sim and of the tests that run the simulated module: every access
// goes to the module, is counted, and is traced when asked.
#include "sim/sim_port.h"

#include <cstdio>

#include "link/port.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"

static std::FILE *trace_file;

void sim_port_trace_to(std::FILE *file) {
    trace_file = file;
}

uint8_t port_read(uint16_t port) {
    sim_clock_bus_cycle();
    const uint8_t value = sim_read(port);
    if (trace_file) std::fprintf(trace_file, "R 0x%03x 0x%02x\n", port, value);
    return value;
}

void port_write(uint16_t port, uint8_t value) {
    sim_clock_bus_cycle();
    sim_write(port, value);
    if (trace_file) std::fprintf(trace_file, "W 0x%03x 0x%02x\n", port, value);
}
