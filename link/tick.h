// The millisecond tick counter (GetTickCount semantics: unsigned 32 bits, wrapping) and the
// waits built on it. tick_count and tick_sleep_until are the platform seam; tick_wait is
// the one wait every caller uses.
#pragma once
#include <cstdint>

uint32_t tick_count();
// Blocks until the tick counter is expected to read `deadline` (an absolute tick value) or
// later. May return early; callers check the counter again.
void tick_sleep_until(uint32_t deadline);

// Waits until the tick counter has moved on by at least `ms` from its value at the call.
// Elapsed ticks are compared as a difference, so the 32-bit wrap neither ends the wait early
// nor stretches it.
void tick_wait(uint32_t ms);
