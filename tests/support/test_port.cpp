#include "tests/support/test_port.h"

#include <cstdio>
#include <cstdlib>

#include "link/port.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"

static bool scripted;
static Trace script, made;

std::string trace_step(char direction, int port, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%c %03x %02x", direction, port, value);
    return text;
}
void port_script_set(const Trace &expected) {
    scripted = true;
    script = expected;
    made.clear();
}
void port_script_off() {
    scripted = false;
}
const Trace &port_script_made() {
    return made;
}

uint8_t port_read(uint16_t port) {
    sim_clock_bus_cycle();
    if (!scripted) return sim_read(port);
    const size_t at = made.size();
    const bool ours =
        at < script.size() && script[at].compare(0, 6, trace_step('R', port, 0), 0, 6) == 0;
    const auto value =
        ours ? uint8_t(std::strtoul(script[at].c_str() + 6, nullptr, 16)) : uint8_t{0xFF};
    made.push_back(trace_step('R', port, value));
    return value;
}

void port_write(uint16_t port, uint8_t value) {
    sim_clock_bus_cycle();
    if (!scripted) return sim_write(port, value);
    made.push_back(trace_step('W', port, value));
}

std::string trace_difference(const Trace &made, const Trace &expected) {
    for (size_t i = 0; i < made.size() || i < expected.size(); ++i) {
        const std::string got = i < made.size() ? made[i] : "(end)";
        const std::string want = i < expected.size() ? expected[i] : "(end)";
        if (got != want)
            return "step " + std::to_string(i) + ": made " + got + ", expected " + want;
    }
    return "";
}
