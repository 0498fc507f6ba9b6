#include "tests/support/test_port.h"

#include <cstdio>
#include <cstdlib>

#include "link/port.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"

static bool scripted;
static Trace script, made;

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

static std::string step(char direction, uint16_t port, uint8_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%c %03x %02x", direction, port, value);
    return text;
}

uint8_t port_read(uint16_t port) {
    sim_clock_bus_cycle();
    if (!scripted) return sim_read(port);
    uint8_t value = 0xFF;
    const std::string wanted = step('R', port, 0).substr(0, 6);
    if (made.size() < script.size() && script[made.size()].compare(0, 6, wanted) == 0)
        value = static_cast<uint8_t>(std::strtoul(script[made.size()].c_str() + 6, nullptr, 16));
    made.push_back(step('R', port, value));
    return value;
}

void port_write(uint16_t port, uint8_t value) {
    sim_clock_bus_cycle();
    if (!scripted) return sim_write(port, value);
    made.push_back(step('W', port, value));
}

std::string trace_difference(const Trace &made, const Trace &expected) {
    for (size_t i = 0; i < made.size() || i < expected.size(); ++i) {
        const std::string got = i < made.size() ? made[i] : "(end)";
        const std::string want = i < expected.size() ? expected[i] : "(end)";
        if (got != want)
            return "step " + std::to_string(i) + " of " + std::to_string(expected.size()) +
                   ": made " + got + ", expected " + want;
    }
    return "";
}
