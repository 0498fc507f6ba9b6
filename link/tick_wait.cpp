#include "link/tick.h"

void tick_wait(uint32_t ms) {
    const uint32_t start = tick_count();
    while (static_cast<uint32_t>(tick_count() - start) < ms) tick_sleep_until(start + ms);
}
