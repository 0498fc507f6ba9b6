// The millisecond clock on Windows: GetTickCount itself, the 32-bit milliseconds since the
// system started, which wrap after about 49.7 days. It moves in steps of the system timer
// (often 15.6 ms), and so do the waits on it.
#include "platform/os_clock_windows.h"
#include "platform/os_clock.h"

#include <windows.h>

namespace {

constexpr uint32_t TICKS_PASSED = 0x80000000u; // a difference this large lies behind

} // namespace

uint32_t os_tick_count() {
    return GetTickCount();
}

uint32_t os_ms_until(uint32_t now, uint32_t deadline) {
    const uint32_t ahead = deadline - now;
    return ahead < TICKS_PASSED ? ahead : 0;
}

// Sleep may end before the counter has stepped on to the deadline; the loop sleeps the rest.
void os_sleep_until(uint32_t deadline) {
    for (uint32_t ms = os_ms_until(os_tick_count(), deadline); ms != 0;
         ms = os_ms_until(os_tick_count(), deadline))
        Sleep(ms);
}
