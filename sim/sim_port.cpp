// The port seam of ciflash-sim and of the tests that run the simulated module: every access
// goes to the module, on the simulated clock.

#include "link/port.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"

uint8_t port_read(uint16_t port) {
    sim_clock_bus_cycle();
    return sim_read(port);
}

void port_write(uint16_t port, uint8_t value) {
    sim_clock_bus_cycle();
    sim_write(port, value);
}
