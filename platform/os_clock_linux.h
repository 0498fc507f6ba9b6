// The deadline arithmetic of the Linux clock, apart from the clock itself for its tests.
#pragma once
#include <cstdint>

// The monotonic time in nanoseconds at which to wake for `deadline`, seen at monotonic time
// `now_ns`: the start of the millisecond in which the counter reads `deadline`, or `now_ns`
// itself when the counter reads it already or the deadline has passed.
uint64_t os_wake_time_ns(uint64_t now_ns, uint32_t deadline);
