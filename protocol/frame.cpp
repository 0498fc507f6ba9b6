#include "protocol/frame.h"

#include "console/screen.h"
#include "link/ci_link.h"
#include "link/tick.h"
#include "platform/console.h"
#include "platform/process.h"
#include "protocol/history_notes.h"

uint16_t frame_build(uint8_t *frame, uint8_t mode, uint8_t ins, uint8_t p1, uint8_t p2,
                     const uint8_t *data, uint16_t n) {
    frame[0] = FRAME_START;
    frame[FRAME_POS_MODE] = mode;
    frame[FRAME_POS_LENGTH] = static_cast<uint8_t>(5 + n);
    frame[FRAME_POS_CLA] = FRAME_CLASS;
    frame[FRAME_POS_INS] = ins;
    frame[FRAME_POS_P1] = p1;
    frame[FRAME_POS_P2] = p2;
    frame[FRAME_POS_LC] = static_cast<uint8_t>(n);
    for (uint16_t i = 0; i < n; ++i) frame[FRAME_POS_DATA + i] = data[i];
    uint8_t check = 0;
    for (int i = 0; i < FRAME_POS_DATA + n; ++i) check ^= frame[i];
    frame[FRAME_POS_DATA + n] = check;
    return static_cast<uint16_t>(n + FRAME_OVERHEAD);
}

// The module's reply could not be read: nothing sensible can follow.
[[noreturn]] static void received_data_error() {
    screen_clear();
    screen_banner();
    screen_line(20, "DVB MODULE RECEIVED DATA ERROR !!!");
    history_note_outcome("DVB MODULE RECEIVED DATA ERROR !!!", 1);
    screen_line(24, "EXIT WITH 'Q'");
    process_exit(1);
}

int frame_exchange(uint8_t *frame, uint16_t capacity, uint16_t *length) {
    // A frame the interface did not take simply gets no reply and runs into the time limit.
    (void)ci_send(frame, *length);
    for (uint32_t elapsed = 0;;) {
        switch (ci_receive(frame, capacity, length)) {
        case LINK_BUSY:
        case LINK_NO_DATA:
            tick_wait(EXCHANGE_POLL_MS);
            elapsed += EXCHANGE_POLL_MS;
            if (elapsed >= EXCHANGE_TIMEOUT_MS) return -1;
            break;
        case LINK_TRANSFER_ERROR:
            received_data_error();
        default:
            return 0; // a reply, or the module gone: the buffer holds what it holds
        }
    }
}
