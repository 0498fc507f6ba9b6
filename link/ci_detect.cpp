#include "link/ci_link.h"
#include "link/link_internal.h"
#include "link/port.h"
#include "link/registers.h"
#include "link/tick.h"

// The three waiting loops of a reset share one shape: an attempt, a one-tick wait, and a count
// that fails the loop on reaching RESET_ATTEMPTS whatever the attempt returned. So at most
// RESET_ATTEMPTS - 1 attempts can end a loop with success.
// LOOP_FAIL ends the reset at once: the module is gone, or its answer cannot be used.
enum LoopStep : uint8_t { LOOP_RETRY, LOOP_DONE, LOOP_FAIL };

static LoopStep size_read_attempt(uint8_t size_bytes[2]) {
    uint16_t length = 0;
    switch (ci_receive(size_bytes, 2, &length)) {
    case LINK_NO_MODULE:
        return LOOP_FAIL;
    case LINK_NO_DATA:
        return LOOP_RETRY;
    default:
        break;
    }
    // A size reply shorter than two bytes carries no size; the buffer would otherwise be
    // negotiated from bytes the module never sent. A longer one gives its first two.
    return length < 2 ? LOOP_FAIL : LOOP_DONE;
}

static LoopStep size_write_attempt(const uint8_t size_bytes[2]) {
    switch (ci_send(size_bytes, 2)) {
    case LINK_NO_MODULE:
        return LOOP_FAIL;
    case LINK_BUSY:
        return LOOP_RETRY;
    default:
        return LOOP_DONE;
    }
}

static LoopStep free_wait_attempt() {
    if (link_read_status() != LINK_OK) return LOOP_FAIL;
    return (module_link.status & STATUS_FR) ? LOOP_DONE : LOOP_RETRY;
}

enum WaitLoop : uint8_t { WAIT_SIZE_READ, WAIT_SIZE_WRITE, WAIT_FREE };

static bool run_waiting_loop(WaitLoop loop, uint8_t size_bytes[2]) {
    for (int count = 0;;) {
        LoopStep step = LOOP_FAIL;
        switch (loop) {
        case WAIT_SIZE_READ:
            step = size_read_attempt(size_bytes);
            break;
        case WAIT_SIZE_WRITE:
            step = size_write_attempt(size_bytes);
            break;
        case WAIT_FREE:
            step = free_wait_attempt();
            break;
        }
        if (step == LOOP_FAIL) return false;
        tick_wait(1);
        if (++count == RESET_ATTEMPTS) return false;
        if (step == LOOP_DONE) return true;
    }
}

LinkResult ci_reset(uint16_t host_max, uint16_t *size_out) {
    uint8_t size_bytes[2] = {0, 0};
    if (link_set_command_bit(COMMAND_RS) != LINK_OK) return LINK_RESET_FAILED;
    if (link_clear_command_bit(COMMAND_RS) != LINK_OK) return LINK_RESET_FAILED;
    if (link_set_command_bit(COMMAND_SR) != LINK_OK) return LINK_RESET_FAILED;
    if (!run_waiting_loop(WAIT_SIZE_READ, size_bytes)) return LINK_RESET_FAILED;

    const uint16_t module_size = static_cast<uint16_t>(size_bytes[0] << 8 | size_bytes[1]);
    *size_out = module_size;
    if (module_size > host_max) {
        *size_out = host_max;
        size_bytes[0] = static_cast<uint8_t>(host_max >> 8);
        size_bytes[1] = static_cast<uint8_t>(host_max & 0xFF);
    }

    if (link_clear_command_bit(COMMAND_SR) != LINK_OK) return LINK_RESET_FAILED;
    if (link_set_command_bit(COMMAND_SW) != LINK_OK) return LINK_RESET_FAILED;
    if (!run_waiting_loop(WAIT_SIZE_WRITE, size_bytes)) return LINK_RESET_FAILED;
    if (link_clear_command_bit(COMMAND_SW) != LINK_OK) return LINK_RESET_FAILED;
    if (!run_waiting_loop(WAIT_FREE, size_bytes)) return LINK_RESET_FAILED;
    return LINK_OK;
}

// Plain reads, no presence check: the base is not known yet.
static bool probe_base(uint16_t base) {
    (void)port_read(static_cast<uint16_t>(base + REG_SIZE_LS));
    const uint8_t size_ms = port_read(static_cast<uint16_t>(base + REG_SIZE_MS));
    const uint8_t status = port_read(static_cast<uint16_t>(base + REG_STATUS));
    return (size_ms & 0x07) == 0 && (status & STATUS_FR) != 0;
}

LinkResult ci_detect(uint16_t host_max, uint16_t *size_out, uint8_t known_base) {
    module_link.present = 1;
    if (!known_base) {
        int found = -1;
        for (int i = 0; i < IO_BASE_COUNT && found < 0; ++i)
            if (probe_base(IO_BASES[i])) found = i;
        if (found < 0) {
            module_link.present = 0;
            return LINK_NO_MODULE;
        }
        module_link.io_base = IO_BASES[found];
    } else if (module_link.io_base == 0) {
        // No base was ever found: there is nothing to reset, and no port is touched.
        module_link.present = 0;
        return LINK_NO_MODULE;
    }
    if (ci_reset(host_max, size_out) == LINK_OK) return LINK_OK;
    module_link.present = 0;
    return LINK_NO_MODULE;
}
