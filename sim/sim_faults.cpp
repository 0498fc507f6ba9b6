#include "sim/sim_faults.h"

#include "link/registers.h"
#include "sim/sim_internal.h"

static uint32_t rng_state;

void sim_faults_reset() {
    rng_state = sim_config.seed ? sim_config.seed : 1;
}

// xorshift32: small, and the same sequence for the same seed on every platform.
static uint32_t next_random() {
    rng_state ^= rng_state << 13;
    rng_state ^= rng_state >> 17;
    rng_state ^= rng_state << 5;
    return rng_state;
}

static bool fault_now() {
    if (sim_config.fault_rate <= 0) return false;
    if (static_cast<double>(next_random()) / 4294967296.0 >= sim_config.fault_rate) return false;
    ++sim_record.faults_injected;
    return true;
}

uint8_t sim_faults_on_read(int offset, uint8_t value) {
    if (!fault_now()) return value;
    switch (offset) {
    case REG_STATUS: {
        static constexpr uint8_t bits[] = {STATUS_DA, STATUS_FR, STATUS_WE, STATUS_RE};
        return value ^ bits[next_random() % 4];
    }
    case REG_DATA:
        // The byte is read again (an extra byte) or the next one is lost (a dropped byte).
        if (next_random() % 2 == 0) {
            if (sim_if.out_pos > 0) --sim_if.out_pos;
        } else if (sim_if.out_pos + 1 < sim_if.out.size()) {
            ++sim_if.out_pos;
        }
        return value;
    default:
        // A stall: the reply being prepared comes 100 ms later.
        if (sim_if.pending) sim_if.pending_delay += 100;
        return value;
    }
}

bool sim_faults_drop_write(int offset) {
    return offset == REG_DATA && fault_now();
}
