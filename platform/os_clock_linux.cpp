// The millisecond clock on Linux: CLOCK_MONOTONIC, which neither jumps with the wall clock
// nor stops counting while the program waits.
#include "platform/os_clock_linux.h"
#include "platform/os_clock.h"

#include <cerrno>
#include <ctime>

namespace {

constexpr uint64_t NS_PER_MS = 1000000;
constexpr uint64_t NS_PER_S = 1000000000;
constexpr uint32_t TICKS_PASSED = 0x80000000u; // a difference this large lies behind

uint64_t monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * NS_PER_S + static_cast<uint64_t>(now.tv_nsec);
}

} // namespace

uint32_t os_tick_count() {
    return static_cast<uint32_t>(monotonic_ns() / NS_PER_MS);
}

uint64_t os_wake_time_ns(uint64_t now_ns, uint32_t deadline) {
    const uint64_t now_ms = now_ns / NS_PER_MS;
    const uint32_t ahead = deadline - static_cast<uint32_t>(now_ms);
    if (ahead == 0 || ahead >= TICKS_PASSED) return now_ns;
    return (now_ms + ahead) * NS_PER_MS;
}

void os_sleep_until(uint32_t deadline) {
    const uint64_t now = monotonic_ns();
    const uint64_t wake = os_wake_time_ns(now, deadline);
    if (wake == now) return;
    const timespec at{static_cast<time_t>(wake / NS_PER_S), static_cast<long>(wake % NS_PER_S)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}
