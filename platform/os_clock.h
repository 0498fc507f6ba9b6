// The operating system's millisecond clock, with GetTickCount semantics: the milliseconds of
// a monotonic clock, truncated to unsigned 32 bits (wrapping after about 49.7 days).
#pragma once
#include <cstdint>

uint32_t os_tick_count();

// Sleeps until the tick counter reads `deadline`. The deadline is taken relative to the
// current tick by the 32-bit difference: a deadline 2^31 ms or more behind has passed, and
// the call returns at once. On return the counter reads `deadline` or later.
void os_sleep_until(uint32_t deadline);

// The monotonic time in nanoseconds at which to wake for `deadline`, seen at monotonic time
// `now_ns`: the start of the millisecond in which the counter reads `deadline`, or `now_ns`
// itself when the counter reads it already or the deadline has passed.
uint64_t os_wake_time_ns(uint64_t now_ns, uint32_t deadline);
