// The module's side of the command protocol: it answers the identification request with
// tagged records, checks and stores block frames page by page, and answers each with a status
// word, with the faults scheduled per block.
#include "sim/sim_internal.h"

#include <algorithm>

#include "link/tick.h"
#include "protocol/frame.h"
#include "protocol/page_image.h"

void fw_reset() {
    sim_fw = SimFirmware{};
    sim_fw.last_page = -1;
    sim_fw.fired.assign(sim_config.events.size(), false);
}

static const PageImage &image_of(int page) {
    return page == 0 ? page_image_0 : page_image_1;
}

static int block_count(int page) {
    const int block_len = sim_fw.frame_size - FRAME_OVERHEAD;
    if (block_len <= 0) return 0;
    return static_cast<int>(page_block_count(image_of(page), static_cast<uint32_t>(block_len)));
}

// The block the host should send next, counted from block 1.
static void next_block(int *page, int *block) {
    if (sim_fw.last_page < 0) {
        *page = 0;
        *block = 1;
    } else if (sim_fw.last_block >= block_count(sim_fw.last_page)) {
        *page = sim_fw.last_page + 1;
        *block = 1;
    } else {
        *page = sim_fw.last_page;
        *block = sim_fw.last_block + 1;
    }
}

// An event of this kind for the next block; once-only events fire once.
static const SimBlockEvent *take_event(SimEventKind kind, bool once) {
    int page = 0, block = 0;
    next_block(&page, &block);
    for (size_t i = 0; i < sim_config.events.size(); ++i) {
        const SimBlockEvent &e = sim_config.events[i];
        if (e.kind != kind || e.page != page || e.block != block || sim_fw.fired[i]) continue;
        if (once) sim_fw.fired[i] = true;
        if (kind != SIM_REPLY_SW && kind != SIM_REPLY_LEN) ++sim_record.faults_injected;
        return &e;
    }
    return nullptr;
}

void fw_module_free() {
    if (!sim_fw.identify_seen) return;
    if (take_event(SIM_REMOVE, true)) {
        sim_pull_out();
        return;
    }
    if (sim_fw.keep_after_reset && sim_if.resets > sim_fw.held_resets) {
        // The interface has been reset since the write error: the kept block is answered.
        sim_fw.keep_after_reset = false;
        sim_schedule_reply(sim_fw.held_reply, sim_fw.held_delay, sim_fw.held_read_error);
    }
    if (const SimBlockEvent *busy = take_event(SIM_BUSY, true)) {
        sim_if.fr = false;
        sim_if.stuck = true;
        sim_if.stuck_timed = busy->value != 0;
        sim_if.stuck_until = tick_count() + busy->value;
    }
}

bool fw_write_error_due() {
    if (!sim_fw.identify_seen) return false;
    sim_fw.keep_after_reset = take_event(SIM_WRITE_ERROR_KEPT, true) != nullptr;
    sim_fw.held_resets = sim_if.resets;
    return sim_fw.keep_after_reset || take_event(SIM_WRITE_ERROR, true);
}

bool fw_remove_in_identify(size_t sent) {
    return !sim_fw.identify_seen && sim_record.negotiated != 0 &&
           sim_config.remove_in_identify >= 0 &&
           static_cast<size_t>(sim_config.remove_in_identify) == sent;
}

static std::vector<uint8_t> framed_reply(uint8_t mode, const std::vector<uint8_t> &body) {
    std::vector<uint8_t> reply(3 + body.size());
    reply[0] = FRAME_START;
    reply[1] = mode;
    reply[2] = static_cast<uint8_t>(body.size());
    std::copy(body.begin(), body.end(), reply.begin() + 3);
    uint8_t check = 0;
    for (uint8_t b : reply) check ^= b;
    reply.push_back(check);
    return reply;
}

static std::vector<uint8_t> status_reply(uint8_t mode, uint16_t sw) {
    return framed_reply(mode, {static_cast<uint8_t>(sw >> 8), static_cast<uint8_t>(sw)});
}

// A frame the module refuses: answered with the status word, and no frame is due after it.
static void answer_refusal(uint8_t mode, uint16_t sw) {
    sim_fw.error_answered = true;
    sim_schedule_reply(status_reply(mode, sw), sim_config.block_ms, false);
}

static void add_text_record(std::vector<uint8_t> &body, uint8_t tag, const std::string &text) {
    const size_t n = text.size() < 255 ? text.size() : 255;
    body.push_back(tag);
    body.push_back(static_cast<uint8_t>(n));
    body.insert(body.end(), text.begin(), text.begin() + static_cast<long>(n));
}

static void add_number_record(std::vector<uint8_t> &body, uint8_t tag, int value) {
    body.push_back(tag);
    body.push_back(1);
    body.push_back(static_cast<uint8_t>(value));
}

static void answer_identify(const std::vector<uint8_t> &request) {
    const std::vector<uint8_t> expected = {0x12, 0x01, 0x05, 0x80, 0x13, 0x00, 0x00, 0x00, 0x85};
    if (request != expected) sim_protocol_error("identification request not as expected");
    sim_fw.identify_seen = true;
    if (sim_config.silent_identify) {
        sim_if.fr = true; // takes the request and never answers it
        return;
    }
    std::vector<uint8_t> body;
    add_text_record(body, 1, sim_config.bios);
    if (sim_config.bios_date) add_text_record(body, 2, *sim_config.bios_date);
    if (sim_config.page_number) add_number_record(body, 3, *sim_config.page_number);
    if (sim_config.asic) add_number_record(body, 4, *sim_config.asic);
    if (sim_config.customer) add_text_record(body, 5, *sim_config.customer);
    add_text_record(body, 6, sim_config.processor);
    // Every byte after the header belongs to a record: no check byte follows them.
    std::vector<uint8_t> reply = framed_reply(0x01, body);
    reply.pop_back();
    sim_schedule_reply(reply, sim_config.block_ms, sim_config.identify_read_error);
}

static uint16_t reject(const std::string &why, uint16_t sw) {
    sim_protocol_error(why);
    return sw;
}

// Checks the frame's own consistency; returns the status word to answer a bad frame with, or 0.
static uint16_t frame_format_error(const std::vector<uint8_t> &f) {
    if (f.size() < FRAME_OVERHEAD) return reject("frame shorter than 9 bytes", 0x6700);
    uint8_t check = 0;
    for (uint8_t b : f) check ^= b;
    if (f[0] != FRAME_START) return reject("frame start byte wrong", 0x6481);
    if (f[FRAME_POS_LENGTH] + 4u != f.size())
        return reject("frame length byte does not match its size", 0x6700);
    if (f[FRAME_POS_LC] + 5u != f[FRAME_POS_LENGTH])
        return reject("frame lc does not match its length byte", 0x6700);
    if (check != 0) return reject("frame check byte wrong", 0x6481);
    if (f[FRAME_POS_CLA] != FRAME_CLASS) return reject("frame class wrong", 0x6481);
    return 0;
}

static uint16_t block_order_error(const std::vector<uint8_t> &f, int page, int block) {
    if (page > 1) return reject("block frame after both pages", 0x6481);
    if (f[FRAME_POS_P1] != page)
        return reject("block frame for page " + std::to_string(f[FRAME_POS_P1]) +
                          ", expected page " + std::to_string(page),
                      0x6481);
    if (f[FRAME_POS_P2] != (block == 1 ? 1 : 0))
        return reject("first-block flag wrong on block " + std::to_string(block), 0x6481);
    // No frame may exceed the size negotiated now (a reset during the update negotiates
    // again), and every frame has the length fixed before the first one.
    if (f.size() > sim_record.negotiated)
        return reject("block frame of " + std::to_string(f.size()) + " bytes, negotiated " +
                          std::to_string(sim_record.negotiated),
                      0x6700);
    if (f.size() != sim_fw.frame_size)
        return reject("block frame of " + std::to_string(f.size()) + " bytes, expected " +
                          std::to_string(sim_fw.frame_size),
                      0x6700);
    if (sim_record.frame_mode && *sim_record.frame_mode != f[FRAME_POS_MODE])
        return reject("frame mode changed during the update", 0x6481);
    return 0;
}

static void store_block(const std::vector<uint8_t> &f, int page, int block) {
    SimPage &p = sim_record.pages[page];
    sim_record.pages_seen[page] = true;
    p.data.insert(p.data.end(), f.begin() + FRAME_POS_DATA, f.end() - 1);
    ++p.blocks;
    sim_fw.last_page = page;
    sim_fw.last_block = block;
}

static void answer_block(const std::vector<uint8_t> &f) {
    // Every block frame has the length that the size negotiated before the first one gives:
    // the buffer size, with the data capped at the 250 bytes the length byte can announce.
    if (sim_record.frames == 0)
        sim_fw.frame_size =
            std::min<uint16_t>(sim_record.negotiated, FRAME_MAX_DATA + FRAME_OVERHEAD);
    ++sim_record.frames;
    if (sim_fw.error_answered) ++sim_record.frames_after_error;
    int page = 0, block = 0;
    next_block(&page, &block);

    uint16_t sw = block_order_error(f, page, block);
    if (sw == 0) {
        sim_record.frame_mode = f[FRAME_POS_MODE];
        const SimBlockEvent *hang = take_event(SIM_HANG, false);
        const SimBlockEvent *reply_sw = take_event(SIM_REPLY_SW, true);
        const SimBlockEvent *read_error = take_event(SIM_READ_ERROR, true);
        const SimBlockEvent *reply_len = take_event(SIM_REPLY_LEN, true);
        store_block(f, page, block);
        if (hang) return; // FR stays clear, no reply ever comes
        sw = reply_sw ? static_cast<uint16_t>(reply_sw->value) : 0x9000;
        std::vector<uint8_t> reply = status_reply(f[FRAME_POS_MODE], sw);
        if (reply_len) reply.resize(reply_len->value, 0x00);
        if ((sw >> 8) != SW1_OK) sim_fw.error_answered = true;
        const uint32_t delay = block == 1 ? sim_config.erase_ms : sim_config.block_ms;
        if (sim_fw.keep_after_reset) {
            sim_fw.held_reply = reply;
            sim_fw.held_delay = delay;
            sim_fw.held_read_error = read_error != nullptr;
            return;
        }
        sim_schedule_reply(reply, delay, read_error != nullptr);
        return;
    }
    answer_refusal(f[FRAME_POS_MODE], sw);
}

void fw_host_message(const std::vector<uint8_t> &message) {
    const uint16_t bad = frame_format_error(message);
    if (bad == 0 && message[FRAME_POS_INS] == INS_IDENTIFY) return answer_identify(message);
    if (bad == 0 && message[FRAME_POS_INS] == INS_WRITE_BLOCK) return answer_block(message);
    if (bad == 0) sim_protocol_error("unknown instruction");
    const uint8_t mode = message.size() > 1 ? message[FRAME_POS_MODE] : 0;
    answer_refusal(mode, bad ? bad : 0x6D00); // 6D00: instruction not supported
}

bool sim_page_matches_image(int page) {
    const PageImage &image = image_of(page);
    const SimPage &p = sim_record.pages[page];
    if (!sim_record.pages_seen[page] || p.data.size() < image.size) return false;
    for (uint32_t i = 0; i < image.size; ++i)
        if (p.data[i] != image.bytes[i]) return false;
    for (size_t i = image.size; i < p.data.size(); ++i)
        if (p.data[i] != 0xFF) return false;
    // Padding only up to the last block's end: no whole block of filler.
    return p.blocks > 0 &&
           p.data.size() - image.size < p.data.size() / static_cast<size_t>(p.blocks);
}
