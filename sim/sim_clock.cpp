#include "sim/sim_clock.h"

#include "link/tick.h"
#include "platform/os_clock.h"

bool sim_clock_virtual = true;
static uint64_t virtual_us;

void sim_clock_set_ms(uint32_t ms) {
    virtual_us = static_cast<uint64_t>(ms) * 1000;
}
void sim_clock_bus_cycle() {
    ++virtual_us;
}

uint32_t tick_count() {
    if (!sim_clock_virtual) return os_tick_count();
    return static_cast<uint32_t>(virtual_us / 1000);
}

void tick_sleep_until(uint32_t deadline) {
    if (!sim_clock_virtual) return os_sleep_until(deadline);
    // Virtual time jumps to the deadline, unless it has already passed (compared by the 32-bit
    // difference, so the wrap is handled like the real counter's).
    const uint32_t ahead = deadline - tick_count();
    if (ahead != 0 && ahead < 0x80000000u) virtual_us = (virtual_us / 1000 + ahead) * 1000;
}
