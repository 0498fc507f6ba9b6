// The operating system's millisecond clock, with GetTickCount semantics: the milliseconds of
// a monotonic clock, truncated to unsigned 32 bits (wrapping after about 49.7 days).
#pragma once
#include <cstdint>

uint32_t os_tick_count();

// Sleeps until the tick counter reads `deadline`. The deadline is taken relative to the
// current tick by the 32-bit difference: a deadline 2^31 ms or more behind has passed, and
// the call returns at once. On return the counter reads `deadline` or later.
void os_sleep_until(uint32_t deadline);
