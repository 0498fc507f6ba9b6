// The simulator's tick counter: the real clock, or a virtual one on which every wait and every
// module delay passes at once (--fast, and the tests).
#pragma once
#include <cstdint>

extern bool sim_clock_virtual;

// Virtual time, in microseconds. Each port access costs one microsecond of it, so that even a
// loop that never waits (re-sending to a busy interface) lets virtual time go on. It starts at
// 0, or where sim_clock_set_ms puts it (--clock-start: a run across the counter's wrap).
void sim_clock_set_ms(uint32_t ms);
void sim_clock_bus_cycle();
