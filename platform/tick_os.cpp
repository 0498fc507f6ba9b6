// The tick seam of the hardware program: the operating system's millisecond clock.
#include "link/tick.h"
#include "platform/os_clock.h"

uint32_t tick_count() {
    return os_tick_count();
}

void tick_sleep_until(uint32_t deadline) {
    os_sleep_until(deadline);
}
