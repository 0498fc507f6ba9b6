#include "tests/support/run_check.h"

#include <algorithm>

#include "protocol/page_image.h"

namespace {

const char INCONSISTENT[] = "Inconsistance error ", DIALOG[] = "DVB Module Dialog Error ";

size_t first(const std::string &text) {
    size_t i = 0;
    while (i < vscreen.writes.size() && vscreen.writes[i].second != text) ++i;
    return i;
}
bool shown(const std::string &text) {
    return first(text) < vscreen.writes.size();
}

const char *fault_line(const SimBlockEvent &e, bool *sent) {
    const uint32_t v = e.value;
    *sent = e.kind != SIM_REMOVE && !(e.kind == SIM_BUSY && v == 0);
    switch (e.kind) {
    case SIM_REPLY_SW:
        if (v >> 8 == 0x90) return nullptr;
        if (v >> 8 == 0x64) return v == 0x6481 ? INCONSISTENT : "Flash memory error ";
        if (v == 0x6581) return "Critical Flash memory error ";
        return v == 0x6700 ? "Length Block error. " : INCONSISTENT;
    case SIM_REMOVE:
        return INCONSISTENT;
    case SIM_BUSY:
        return v ? nullptr : DIALOG;
    case SIM_REPLY_LEN:
        return v < 4 ? INCONSISTENT : v > 1300 ? DIALOG : nullptr;
    case SIM_WRITE_ERROR_KEPT:
        return nullptr;
    default:
        return DIALOG;
    }
}

} // namespace

std::string check_run(const RunSetup &s, int code, bool predicted) {
    std::string broken;
    const auto expect = [&](bool ok, const std::string &what) {
        if (!ok) broken += what + "; ";
    };
    const SimConfig &c = s.config;
    const uint32_t len = block_len_for(update_buffer(c));
    const uint32_t n[2] = {blocks_for(0, uint16_t(len + 9)), blocks_for(1, uint16_t(len + 9))};
    const uint8_t mode = identified(c) && c.bios != "1.06"; // the last of mode 0
    std::vector<uint8_t> flash[2];
    for (int page = 0; page < 2; ++page) {
        const PageImage &image = page ? page_image_1 : page_image_0;
        flash[page].assign(image.bytes, image.bytes + image.size);
        flash[page].resize(n[page] * len, 0xFF);
    }
    const size_t error_screen = first("Exit: ESC"), messages = sim_record.messages.size();
    const size_t by_error = shown("Exit: ESC") ? vscreen.messages_before[error_screen] : messages;
    uint32_t frames = 0;
    for (size_t i = 0; i < messages; ++i) {
        const std::vector<uint8_t> &m = sim_record.messages[i];
        if (m.size() == 9 && m[4] == 0x13) continue;
        const uint8_t page = frames >= n[0];
        const uint32_t block = frames++ - (page ? n[0] : 0);
        if (block >= n[page]) {
            expect(false, "a block frame after both pages");
            break;
        }
        std::vector<uint8_t> want = {0x12, mode, uint8_t(len + 5), 0x80,
                                     0xFF, page, block == 0,       uint8_t(len)};
        for (uint32_t k = block * len; k < (block + 1) * len; ++k) want.push_back(flash[page][k]);
        uint8_t check = 0;
        for (uint8_t b : want) check ^= b;
        want.push_back(check);
        size_t k = 0;
        while (k < want.size() && k < m.size() && m[k] == want[k]) ++k;
        expect(i < by_error, "a block frame after the error screen");
        if (m == want) continue;
        expect(false, "page " + std::to_string(page) + " block " + std::to_string(block + 1) +
                          ": byte " + std::to_string(k));
        break;
    }
    const bool success = shown("UPDATE SUCCESSFULL. ");
    const bool failed = shown("UPDATE ERROR !!!");
    if (success)
        expect(sim_record.pages[0].data == flash[0] && sim_record.pages[1].data == flash[1],
               "success, yet the flash is not the images");
    bool fatal = false;
    for (const char *text :
         {"DVB MODULE RECEIVED DATA ERROR !!!", "Wrong processor !!!", "Wrong module reset !!!"})
        fatal |= shown(text);
    const int want_code = s.signal ? 128 + s.signal : success ? 0 : failed ? 4 : fatal ? 1 : code;
    expect(code == want_code, "exit code " + std::to_string(code));
    for (const std::string &error : sim_record.protocol_errors) expect(false, error);
    if (shown("Try to send data again"))
        expect(sim_record.negotiated == std::min<int>(c.module_buffer, 1298),
               "negotiated " + std::to_string(sim_record.negotiated));
    expect(!vscreen.shielded && !vscreen.keys_read_shielded, "keys read under the shield");
    if (!predicted) return broken;

    const char *line = len ? nullptr : INCONSISTENT;
    uint32_t first = UINT32_MAX, at = 0;
    for (const SimBlockEvent &e : c.events) {
        bool sent = false;
        const char *fault = fault_line(e, &sent);
        const uint32_t position = (e.page ? n[0] : 0) + uint32_t(e.block);
        if (fault && position < first) first = position, line = fault, at = position - !sent;
    }
    expect(line ? failed && shown(line) : success,
           std::string("not ended on ") + (line ? line : "success"));
    expect(!line || frames == at,
           std::to_string(frames) + " block frames, not " + std::to_string(at));
    return broken;
}
