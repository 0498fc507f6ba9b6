#include "fuzz/fuzz_port.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "link/ci_link.h"
#include "link/port.h"
#include "link/registers.h"
#include "protocol/flash_update.h"
#include "protocol/frame.h"
#include "protocol/page_image.h"
#include "protocol/run_state.h"
#include "sim/sim_clock.h"
#include "tests/support/virtual_screen.h"

namespace {

// Once the slot is empty the run must end; a whole message drained from a module that
// announced 65535 bytes stays well below this.
constexpr size_t READS_AFTER_INPUT = 200000;
constexpr uint8_t COMMAND_BITS = COMMAND_RS | COMMAND_SR | COMMAND_SW | COMMAND_HC;

enum class Expect : uint8_t { NOTHING, SIZE_MS, DATA };

struct PortRun {
    const uint8_t *input;
    size_t size;
    size_t next;
    size_t reads_after_input;
    uint16_t window; // the one window written in this run, 0 before the first write
    uint8_t command; // last command byte written
    Expect expect;
    uint16_t announced;
    std::vector<uint8_t> message;
    bool identify_sent;
    uint32_t blocks[2];
    size_t writes_seen; // screen writes already searched for an error screen
    bool error_screen_shown;
};

PortRun run;

const PageImage &image_of(int page) {
    return page == 0 ? page_image_0 : page_image_1;
}

uint16_t window_of(uint16_t port) {
    const auto base = static_cast<uint16_t>(port & ~(IO_WINDOW - 1));
    FUZZ_CHECK(std::find(std::begin(IO_BASES), std::end(IO_BASES), base) != std::end(IO_BASES),
               "a port outside the five windows");
    return base;
}

// After an update error screen ("Exit: ESC") nothing more may reach the module's flash.
bool error_screen_shown() {
    for (; run.writes_seen < vscreen.writes.size(); ++run.writes_seen)
        if (vscreen.writes[run.writes_seen].second == "Exit: ESC") run.error_screen_shown = true;
    return run.error_screen_shown;
}

// A write-block frame must carry the next block of its page, built from the image.
void check_block_frame(const std::vector<uint8_t> &frame) {
    FUZZ_CHECK(!error_screen_shown(), "a block frame after an error screen");
    FUZZ_CHECK(buffer_size >= UPDATE_MIN_BUFFER && buffer_size <= STARTUP_MAX_BUFFER,
               "a block frame with no usable size");
    const uint32_t block_len = update_block_len(buffer_size);
    FUZZ_CHECK(frame.size() == block_len + FRAME_OVERHEAD, "a block frame of the wrong length");
    FUZZ_CHECK(frame[FRAME_POS_MODE] <= 1 && frame[FRAME_POS_MODE] == frame_mode,
               "a block frame without frame_mode");
    const int page = frame[FRAME_POS_P1];
    FUZZ_CHECK(page <= 1, "a block frame for no page");
    const PageImage &image = image_of(page);
    const uint32_t index = run.blocks[page];
    FUZZ_CHECK(index < page_block_count(image, block_len), "more block frames than the page has");
    if (page == 1)
        FUZZ_CHECK(run.blocks[0] == page_block_count(page_image_0, block_len),
                   "page 1 before the whole of page 0");
    FUZZ_CHECK(frame[FRAME_POS_P2] == (index == 0 ? 1 : 0), "the first-block flag is wrong");

    std::vector<uint8_t> block(block_len, PAD_BYTE);
    const uint32_t offset = index * block_len;
    std::copy(image.bytes + offset, image.bytes + std::min(image.size, offset + block_len),
              block.begin());
    FUZZ_CHECK(std::equal(block.begin(), block.end(), frame.begin() + FRAME_POS_DATA),
               "a block frame that does not carry its block of the image");
    ++run.blocks[page];
}

// A whole message written with HC: two bytes are the size of the negotiation, anything else
// is a command frame. (SW may still be set from a failed reset when a frame goes.)
void check_message(const std::vector<uint8_t> &message) {
    if (message.size() == 2) {
        FUZZ_CHECK(run.command & COMMAND_SW, "a two-byte message outside the size write");
        return;
    }
    const size_t length = message.size();
    FUZZ_CHECK(length >= FRAME_OVERHEAD && length <= FRAME_OVERHEAD + FRAME_MAX_DATA,
               "a frame of impossible length");
    FUZZ_CHECK(message[0] == FRAME_START && message[FRAME_POS_CLA] == FRAME_CLASS,
               "a frame without start or class byte");
    FUZZ_CHECK(message[FRAME_POS_LENGTH] == length - 4 &&
                   message[FRAME_POS_LC] == length - FRAME_OVERHEAD,
               "a frame whose length fields disagree with its length");
    uint8_t check = 0;
    for (uint8_t byte : message) check ^= byte;
    FUZZ_CHECK(check == 0, "a frame with a wrong check byte");
    switch (message[FRAME_POS_INS]) {
    case INS_IDENTIFY:
        FUZZ_CHECK(length == FRAME_OVERHEAD && message[FRAME_POS_MODE] == 1 &&
                       message[FRAME_POS_P1] == 0 && message[FRAME_POS_P2] == 0,
                   "a malformed identification request");
        FUZZ_CHECK(!run.identify_sent, "a second identification request");
        FUZZ_CHECK(run.blocks[0] == 0, "an identification request during the update");
        run.identify_sent = true;
        break;
    case INS_WRITE_BLOCK:
        check_block_frame(message);
        break;
    default:
        FUZZ_FAIL("a frame with an unknown instruction");
    }
}

void command_write(uint8_t value) {
    FUZZ_CHECK((value & ~COMMAND_BITS) == 0, "a command byte with bits beyond RS SR SW HC");
    if ((run.command & COMMAND_HC) && !(value & COMMAND_HC))
        FUZZ_CHECK(run.expect == Expect::NOTHING, "host control given up inside a message");
    run.command = value;
}

void message_write(uint16_t offset, uint8_t value) {
    FUZZ_CHECK(run.command & COMMAND_HC, "a size or data write without host control");
    switch (offset) {
    case REG_SIZE_LS:
        // A message abandoned when the module vanished is forgotten.
        run.expect = Expect::SIZE_MS;
        run.announced = value;
        return;
    case REG_SIZE_MS:
        FUZZ_CHECK(run.expect == Expect::SIZE_MS, "size MS without size LS just before");
        run.announced = static_cast<uint16_t>(run.announced | value << 8);
        run.message.clear();
        run.expect = Expect::DATA;
        break;
    default:
        FUZZ_CHECK(run.expect == Expect::DATA, "a data byte outside a message");
        run.message.push_back(value);
        break;
    }
    if (run.message.size() == run.announced) {
        run.expect = Expect::NOTHING;
        check_message(run.message);
    }
}

} // namespace

void fuzz_port_start(const uint8_t *input, size_t size) {
    run = PortRun{};
    run.input = input;
    run.size = size;
}

uint32_t fuzz_port_blocks_written(int page) {
    return run.blocks[page];
}

uint8_t port_read(uint16_t port) {
    sim_clock_bus_cycle();
    const uint16_t window = window_of(port);
    FUZZ_CHECK(run.window == 0 || window == run.window, "a read beside the module's window");
    if (run.next < run.size) return run.input[run.next++];
    FUZZ_CHECK(++run.reads_after_input <= READS_AFTER_INPUT, "the run goes on without a module");
    return 0xFF;
}

void port_write(uint16_t port, uint8_t value) {
    sim_clock_bus_cycle();
    const uint16_t window = window_of(port);
    FUZZ_CHECK(run.window == 0 || window == run.window, "writes to two windows in one run");
    run.window = window;
    const auto offset = static_cast<uint16_t>(port - window);
    if (offset == REG_COMMAND)
        command_write(value);
    else
        message_write(offset, value);
}
