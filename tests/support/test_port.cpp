#include "tests/support/test_port.h"

#include <cstdio>
#include <cstdlib>

#include "link/port.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"

bool port_scripted;
Trace port_script, port_made;

std::string trace_step(char direction, int port, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%c %03x %02x", direction, port, value);
    return text;
}

uint8_t port_read(uint16_t port) {
    sim_clock_bus_cycle();
    if (!port_scripted) return sim_read(port);
    const size_t at = port_made.size();
    const bool ours = at < port_script.size() &&
                      port_script[at].compare(0, 6, trace_step('R', port, 0), 0, 6) == 0;
    const auto value =
        ours ? uint8_t(std::strtoul(port_script[at].c_str() + 6, nullptr, 16)) : uint8_t{0xFF};
    port_made.push_back(trace_step('R', port, value));
    return value;
}

void port_write(uint16_t port, uint8_t value) {
    sim_clock_bus_cycle();
    if (!port_scripted) return sim_write(port, value);
    port_made.push_back(trace_step('W', port, value));
}

std::string trace_difference(const Trace &made, const Trace &expected) {
    for (size_t i = 0; i < port_made.size() || i < expected.size(); ++i) {
        const std::string got = i < port_made.size() ? made[i] : "(end)";
        const std::string want = i < expected.size() ? expected[i] : "(end)";
        if (got != want)
            return "step " + std::to_string(i) + ": made " + got + ", expected " + want;
    }
    return "";
}
