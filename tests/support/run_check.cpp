#include "tests/support/run_check.h"

#include <algorithm>

#include "protocol/page_image.h"

namespace {

const char INCONSISTENT[] = "Inconsistance error ", DIALOG[] = "DVB Module Dialog Error ";

bool shown(const std::string &text, size_t *at = nullptr) {
    const auto &w = vscreen.writes;
    const auto it = std::find_if(w.begin(), w.end(), [&](auto &r) { return r.second == text; });
    if (at) *at = size_t(it - w.begin());
    return it != w.end();
}

// The error line a reply's status word leads to; nullptr when the block is acknowledged.
const char *status_line(uint32_t sw) {
    if (sw >> 8 == 0x90) return nullptr;
    if (sw >> 8 == 0x64) return sw == 0x6481 ? INCONSISTENT : "Flash memory error ";
    if (sw == 0x6581) return "Critical Flash memory error ";
    return sw == 0x6700 ? "Length Block error. " : INCONSISTENT;
}

// The error line a fault leads to (nullptr: the block gets through), and whether its block
// still goes out on the bus.
const char *fault_line(const SimBlockEvent &e, bool *sent) {
    *sent = e.kind != SIM_REMOVE && !(e.kind == SIM_BUSY && e.value == 0);
    switch (e.kind) {
    case SIM_REPLY_SW:
        return status_line(e.value);
    case SIM_REMOVE:
        return INCONSISTENT; // the frame's own class byte is taken for SW1
    case SIM_BUSY:
        return e.value ? nullptr : DIALOG;
    case SIM_REPLY_LEN: // shorter than SW1: the frame's own bytes; longer than the buffer
        return e.value < 4 ? INCONSISTENT : e.value > 1300 ? DIALOG : nullptr;
    case SIM_WRITE_ERROR_KEPT:
        return nullptr;
    default: // lost, unreadable or never answered
        return DIALOG;
    }
}

std::vector<uint8_t> page_flash(int page, uint32_t len) {
    const PageImage &image = page ? page_image_1 : page_image_0;
    std::vector<uint8_t> bytes(image.bytes, image.bytes + image.size);
    bytes.resize(blocks_for(page, uint16_t(len + 9)) * len, 0xFF);
    return bytes;
}

} // namespace

std::string check_run(const RunSetup &s, int code, bool predicted) {
    std::string broken;
    const auto expect = [&](bool ok, const std::string &what) {
        if (!ok) broken += what + "; ";
    };
    const SimConfig &c = s.config;
    const uint32_t len = block_len_for(update_buffer(c)), n0 = blocks_for(0, uint16_t(len + 9));
    const int mode = !identified(c) || c.bios == "1.05" ? 0 : 1; // revisions the tests use
    size_t error_at = 0;
    if (!shown("Exit: ESC", &error_at)) error_at = SIZE_MAX;
    const std::vector<uint8_t> flash[2] = {page_flash(0, len), page_flash(1, len)};
    uint32_t frames = 0;
    for (const Message &m : wire) {
        if (m.bytes.size() == 9 && m.bytes[4] == 0x13) continue; // the identification request
        const int page = frames >= n0;
        const uint32_t block = frames - (page ? n0 : 0);
        if ((block + 1) * len > flash[page].size()) {
            expect(false, "more block frames than the pages have");
            break;
        }
        std::vector<uint8_t> want = {0x12, uint8_t(mode), uint8_t(len + 5), 0x80,
                                     0xFF, uint8_t(page), block == 0,       uint8_t(len)};
        const auto from = flash[page].begin() + block * len;
        want.insert(want.end(), from, from + len);
        uint8_t check = 0;
        for (uint8_t b : want) check ^= b;
        want.push_back(check);
        const auto [got, wanted] =
            std::mismatch(m.bytes.begin(), m.bytes.end(), want.begin(), want.end());
        expect(got == m.bytes.end() && wanted == want.end(),
               "block frame " + std::to_string(frames) + " of " + std::to_string(m.bytes.size()) +
                   " bytes differs at byte " + std::to_string(got - m.bytes.begin()) + " from " +
                   std::to_string(want.size()) + " bytes of page " + std::to_string(page) +
                   " block " + std::to_string(block + 1));
        expect(m.screen_writes <= error_at, "a block frame after the error screen");
        ++frames;
    }
    const bool success = shown("UPDATE SUCCESSFULL. "), failed = shown("UPDATE ERROR !!!");
    const bool fatal = shown("DVB MODULE RECEIVED DATA ERROR !!!") ||
                       shown("Wrong processor !!!") || shown("Wrong module reset !!!");
    if (success) {
        for (int page = 0; page < 2; ++page)
            expect(sim_record.pages[page].data == flash[page],
                   "success, yet page " + std::to_string(page) + " differs from its image");
        expect(frames == n0 + blocks_for(1, uint16_t(len + 9)),
               "success after " + std::to_string(frames) + " block frames");
    }
    int want_code = success ? 0 : failed ? 4 : fatal ? 1 : code;
    if (s.signal && vscreen.shield_begins) want_code = 128 + s.signal;
    expect(code == want_code,
           "exit code " + std::to_string(code) + ", not " + std::to_string(want_code));
    for (const std::string &error : sim_record.protocol_errors) expect(false, error);
    expect(!vscreen.shielded && !vscreen.keys_read_shielded, "keys read under the shield");
    if (!predicted) return broken;

    const char *line = len ? nullptr : INCONSISTENT;
    uint32_t first = UINT32_MAX, at = 0; // the first block that fails; block frames sent
    for (const SimBlockEvent &e : c.events) {
        bool sent = false;
        const char *fault = fault_line(e, &sent);
        const uint32_t position = (e.page ? n0 : 0) + uint32_t(e.block);
        if (fault && position < first) first = position, line = fault, at = position - !sent;
    }
    expect(line ? failed && shown(line) : success,
           std::string("the outcome is not ") + (line ? line : "success"));
    expect(!line || frames == at,
           std::to_string(frames) + " block frames, not " + std::to_string(at));
    return broken;
}
