#include "protocol/flash_update.h"

#include <cstdio>
#include <cstring>

#include "console/screen.h"
#include "link/ci_link.h"
#include "link/tick.h"
#include "platform/console.h"
#include "platform/process.h"
#include "protocol/frame.h"
#include "protocol/history_notes.h"
#include "protocol/page_image.h"
#include "protocol/run_state.h"

namespace {

struct UpdateCall {
    uint32_t block_len;
    uint8_t staging[UPDATE_STAGING_SIZE];
    uint8_t frame[UPDATE_FRAME_BUFFER_SIZE];
    uint16_t frame_length;
};

const char ROW3_BLANK[] = "                                             "; // 45 blanks

void blank_row3() {
    screen_line(3, ROW3_BLANK);
}

// Once an error screen is drawn, a signal held back during the write ends the program on it.
uint8_t close_on_escape() {
    process_shield_end();
    wait_escape();
    screen_clear();
    return 1;
}

uint8_t leave_on_escape() {
    screen_line(20, "Exit: ESC");
    return close_on_escape();
}

uint8_t error_screen(const char *row3, const char *row4, const char *row5) {
    history_note_outcome(row3, EXIT_UPDATE_FAILED);
    blank_row3();
    screen_line(3, row3);
    screen_line(4, row4);
    if (row5) screen_line(5, row5);
    return leave_on_escape();
}

uint8_t inconsistency_screen() {
    return error_screen("Inconsistance error ", "Contact Zolvant technical support!!!", nullptr);
}

uint8_t dialog_error_screen() {
    history_note_outcome("DVB Module Dialog Error ", EXIT_UPDATE_FAILED);
    screen_line(19, "DVB Module Dialog Error ");
    return leave_on_escape();
}

uint8_t reply_error_screen(uint8_t sw1, uint8_t sw2) {
    if (sw1 == SW1_NVM_UNCHANGED && sw2 != SW2_MEMORY_FAILURE)
        return error_screen("Flash memory error ", "You can restart update process.",
                            "CAUTION: Please, remove DVB Module from PCMCIA Reader before "
                            "starting update process!!");
    if (sw1 == SW1_NVM_CHANGED && sw2 == SW2_MEMORY_FAILURE)
        return error_screen("Critical Flash memory error ", "Contact Zolvant technical support!!!",
                            nullptr);
    if (sw1 == SW1_WRONG_LENGTH && sw2 == 0x00)
        return error_screen("Length Block error. ", "Please, check if your file is correct.",
                            nullptr);
    return inconsistency_screen();
}

bool marker_ok(const PageImage &image) {
    return image.size >= MARKER_OFFSET + 4 &&
           std::memcmp(image.bytes + MARKER_OFFSET, image.marker, 4) == 0;
}

void stage_block(UpdateCall &call, const PageImage &image, uint32_t index) {
    const uint32_t offset = index * call.block_len;
    const uint32_t left = image.size - offset;
    const uint32_t take = left < call.block_len ? left : call.block_len;
    std::memcpy(call.staging, image.bytes + offset, take);
    std::memset(call.staging + take, PAD_BYTE, call.block_len - take);
}

bool reply_limit_passed(uint32_t start) {
    return static_cast<uint32_t>(tick_count() - start) >= UPDATE_REPLY_LIMIT_MS;
}

enum BlockOutcome : uint8_t { BLOCK_REPLIED, BLOCK_NO_REPLY, BLOCK_REPLY_FAILED };

BlockOutcome send_and_await_reply(UpdateCall &call, uint8_t page) {
    // No block frame goes out before the history's started record is on the disk.
    if (!history_started()) process_exit(1);
    process_shield_begin();
    // Counted before it goes out: from here on the module may have taken it.
    history_note_sent(page);
    uint32_t start = tick_count();

    LinkResult sent = ci_send(call.frame, call.frame_length);
    while (sent == LINK_BUSY) {
        if (reply_limit_passed(start)) return BLOCK_NO_REPLY;
        sent = ci_send(call.frame, call.frame_length);
    }
    if (sent == LINK_TRANSFER_ERROR) {
        // The reply to this frame is still awaited; the size negotiated here is not kept.
        screen_line(18, "DVB Module Dialog Error ");
        screen_line(19, "Try to send data again");
        uint16_t scratch = 0;
        (void)ci_reset(DIALOG_RESET_SIZE, &scratch);
        start = tick_count(); // the module gets its full time to answer after the reset
    }
    for (;;) {
        uint16_t reply_length = 0;
        const LinkResult r = ci_receive(call.frame, sizeof call.frame, &reply_length);
        if (r == LINK_TRANSFER_ERROR) return BLOCK_REPLY_FAILED;
        tick_wait(UPDATE_POLL_MS);
        if (r != LINK_BUSY && r != LINK_NO_DATA) return BLOCK_REPLIED;
        if (reply_limit_passed(start)) return BLOCK_NO_REPLY;
    }
}

uint8_t update_page(UpdateCall &call, const PageImage &image) {
    const int page = image.page;
    screen_banner();
    if (!marker_ok(image)) {
        screen_line(20, "Exit: ESC");
        const char *wrong = page == 0 ? "wrong page0 binary file\n" : "wrong page1 binary file\n";
        screen_line(3, wrong);
        history_note_outcome(wrong, EXIT_UPDATE_FAILED); // up to the line's end
        return close_on_escape();
    }
    const uint32_t block_count = page_block_count(image, call.block_len);
    screen_line(3, page == 0 ? "Erasing flash memory page 0 under process"
                             : "Erasing flash memory page 1 under process");

    for (uint32_t index = 0; index < block_count; ++index) {
        stage_block(call, image, index);
        call.frame_length =
            frame_build(call.frame, frame_mode, INS_WRITE_BLOCK, static_cast<uint8_t>(page),
                        index == 0 ? 1 : 0, call.staging, static_cast<uint16_t>(call.block_len));
        char progress[40];
        std::snprintf(progress, sizeof progress, "Block Number = %03u / %03u", index + 1,
                      block_count);
        screen_line(4, progress);

        const BlockOutcome outcome = send_and_await_reply(call, image.page);
        if (outcome != BLOCK_REPLIED) return dialog_error_screen();
        if (index == 0) {
            blank_row3();
            screen_line(3, page == 0 ? "Update code page 0 under process"
                                     : "Update code page 1 under process");
        }
        if (call.frame[REPLY_POS_SW1] != SW1_OK)
            return reply_error_screen(call.frame[REPLY_POS_SW1], call.frame[REPLY_POS_SW2]);
        history_note_block(image.page);
    }
    return 0;
}

} // namespace

uint8_t flash_update() {
    if (buffer_size < UPDATE_MIN_BUFFER) {
        // No frame can be formed from this size: send nothing rather than a corrupt frame.
        screen_clear();
        screen_banner();
        return inconsistency_screen();
    }
    UpdateCall call = {};
    call.block_len = update_block_len(buffer_size);
    uint8_t result = update_page(call, page_image_0);
    if (result == 0) result = update_page(call, page_image_1);
    if (result == 0) screen_clear();
    return result;
}
