// Whole runs against the simulated module, on the virtual clock and screen: one row per scenario.
#include <gtest/gtest.h>

#include "console/screen.h"
#include "console/startup.h"
#include "link/ci_link.h"
#include "link/tick.h"
#include "platform/console.h"
#include "platform/process.h"
#include "protocol/run_state.h"
#include "sim/sim_clock.h"
#include "sim/sim_internal.h"
#include "tests/support/test_images.h"
#include "tests/support/virtual_screen.h"

namespace {

// clang-format off
const std::string CLEARED(45, ' '), CONTACT = " Contact Zolvant Technical Support";
const char *const INCONSISTENCY = "Inconsistance error ", *const SUPPORT = "Contact Zolvant technical support!!!";
const char *const DIALOG = "DVB Module Dialog Error ", *const EXIT = "EXIT WITH 'Q'";
const Rows SUCCESS = {{1, BANNER}, {15, "UPDATE SUCCESSFULL. "}, {24, EXIT}};
const Rows FAILED = {{1, BANNER}, {20, "UPDATE ERROR !!!"}, {24, EXIT}}, STARTED = {{1, BANNER}, {3, "INITIALISATION"}};
const Rows PROMPT = STARTED + Rows{{15, "PLEASE, INSERT A DVB MODULE"}, {16, "AND WAIT FOR THE BEEPS BEFORE PRESSING 'SPACE BAR'"}, {24, EXIT}};
const Rows INIT_ERROR = {PROMPT[0], PROMPT[1], PROMPT[2], PROMPT[3], {20, "DVB MODULE INITIALISATION ERROR !!!"}, PROMPT[4]};
const Rows INCONSISTENT = {{3, CLEARED}, {3, INCONSISTENCY}, {4, SUPPORT}, {20, "Exit: ESC"}};
const Rows DIALOG_ERROR = {{19, DIALOG}, {20, "Exit: ESC"}};
Rows update_lines(int page, int blocks) {
    const std::string p = std::to_string(page), n = std::to_string(blocks);
    return {{1, BANNER}, {3, "Erasing flash memory page " + p + " under process"}, {4, "Block Number = 001 / " + n}, {3, CLEARED}, {3, "Update code page " + p + " under process"}, {4, "Block Number = " + n + " / " + n}};
}

constexpr int WAITING = -2; // exit code of a run left waiting for a key the row does not type
// What a run must leave: exit code, last screen whole, texts written in this order; unless -1:
// block frames the module received, their length, the negotiated size, their mode, virtual ms.
struct Expect {
    int exit_code = 0;
    Rows screen = SUCCESS, shown = {};
    int frames = -1, frame = -1, negotiated = -1, mode = -1;
    int64_t ms = -1;
};
struct Scenario {
    std::string name;
    SimConfig config;
    std::vector<int> keys;
    Expect e;
    int bad_marker = -1, signal = 0; // page with a broken marker; signal during the update
};
SimConfig at(SimEventKind kind, int page, int block, uint32_t value = 0) {
    return {.events = {{kind, page, block, value}}};
}
// A run that ends on the outcome's error screen, left with ESC like the update's own one.
Scenario failing(std::string name, SimConfig config, Rows shown, int frames, std::vector<int> keys = {27, 27}, int bad_marker = -1) {
    return {name, config, keys, {.screen = FAILED, .shown = shown, .frames = frames}, bad_marker};
}

std::vector<Scenario> scenarios() {
    const Rows IDENTIFIED = {{18, "BIOS REVISION: 1.07"}, {19, "PROCESSOR VERSION: 51"}};
    std::vector<Scenario> all = {
        {"module in the reader", {}, {' ', ' ', 'x', 27}, {.shown = STARTED + IDENTIFIED + update_lines(0, 236) + update_lines(1, 234) + SUCCESS, .frames = 470, .frame = 256, .negotiated = 256, .mode = 1, .ms = 3 + 50 + 2 * 310 + (235 + 233) * 20}},
        {"quick module, early BIOS", {.module_buffer = 128, .bios = "1.05", .erase_ms = 0, .block_ms = 0}, {27}, {.frames = 974, .frame = 128, .negotiated = 128, .mode = 0, .ms = 3 + 974 * 10}},
        {"slow page erase", {.erase_ms = 20000}, {27}, {.frames = 470}},
        {"busy for 45 ms", at(SIM_BUSY, 0, 50, 45), {27}, {.frames = 470, .ms = 10033 + 45 - 10}},
        {"write error, block kept", {.module_buffer = 1024, .silent_identify = true, .events = {{SIM_WRITE_ERROR_KEPT, 0, 5, 0}}}, {27}, {.shown = {{18, DIALOG}, {19, "Try to send data again"}, {4, "Block Number = 006 / 490"}}, .frames = 974, .frame = 128, .negotiated = 1024, .mode = 0}},
        {"identification answered at the 40th poll", {.block_ms = 1950}, {27}, {.negotiated = 256, .mode = 1}},
        {"identification answered too late", {.block_ms = 1951}, {27}, {.negotiated = 128, .mode = 0}},
        {"status 90 with any detail", {.events = {{SIM_REPLY_SW, 0, 1, 0x9012}, {SIM_REPLY_SW, 1, 234, 0x90FF}}}, {27}, {.frames = 470}},
        {"module inserted at the prompt", {.late_insert = true}, {' ', 27}, {.shown = PROMPT, .frames = 470}},
        {"module offers 270, identification reply of 270 bytes", {.module_buffer = 270, .customer = std::string(255, 'C')}, {27}, {.shown = {{19, "CUSTOMER: " + std::string(255, 'C')}, {20, "PROCESSOR VERSION: 51"}}, .frames = 464, .frame = 259, .negotiated = 270}},
        {"module offers 260", {.module_buffer = 260}, {27}, {.frames = 233 + 231, .frame = 259, .negotiated = 260}},
        {"module offers 1024", {.module_buffer = 1024}, {27}, {.frames = 464, .frame = 259, .negotiated = 270}},
        {"refusal drawn on a cleared screen", {.no_module = true}, {' ', 27}, {.exit_code = WAITING, .screen = {{1, BANNER}, {3, INCONSISTENCY}, {4, SUPPORT}, {20, "Exit: ESC"}}}},
        {"terminate held until the outcome is drawn", {}, {}, {.exit_code = 143, .frames = 470}, -1, 15},
        {"hang-up held until the error screen is drawn", at(SIM_REPLY_SW, 1, 17, 0x6581), {}, {.exit_code = 129, .screen = {{1, BANNER}, {3, "Critical Flash memory error "}, {4, SUPPORT}, IDENTIFIED[0], IDENTIFIED[1], {20, "Exit: ESC"}}, .frames = 236 + 17}, -1, 1},
        {"interrupt held until the dialog error is drawn", at(SIM_HANG, 0, 5), {}, {.exit_code = 130, .screen = {{1, BANNER}, {3, "Update code page 0 under process"}, {4, "Block Number = 005 / 236"}, IDENTIFIED[0], {19, DIALOG}, {20, "Exit: ESC"}}, .frames = 5}, -1, 2},
        failing("module offers 9", {.module_buffer = 9}, INCONSISTENT, 0),
        failing("removed in the identification", {.remove_in_identify = 4}, INCONSISTENT, 0),
        failing("removed before the last block", at(SIM_REMOVE, 1, 234), INCONSISTENT, 469),
        failing("write error, block lost", at(SIM_WRITE_ERROR, 0, 5), {{18, DIALOG}, {19, "Try to send data again"}, {19, DIALOG}, {20, "Exit: ESC"}}, 4),
        failing("read error", at(SIM_READ_ERROR, 1, 10), {{4, "Block Number = 010 / 234"}, {19, DIALOG}, {20, "Exit: ESC"}}, 246),
        failing("busy for good", at(SIM_BUSY, 0, 50), DIALOG_ERROR, 49),
        failing("hang", at(SIM_HANG, 1, 200), DIALOG_ERROR, 436),
        failing("reply of 65535 bytes", at(SIM_REPLY_LEN, 0, 2, 65535), DIALOG_ERROR, 2),
        failing("size reply of 1 byte", {.size_reply_len = 1}, PROMPT, 0, {27, 27, 27}),
        failing("free never after the reset", {.free_never_from = 1}, PROMPT, 0, {27, 27, 27}),
        failing("empty reader, SPACE, SPACE ignored, ESC", {.no_module = true}, INIT_ERROR, 0, {' ', ' ', 'a', 3, 27, 27, 27}),
        failing("lost keyboard", at(SIM_REPLY_SW, 0, 3, 0x6700), {}, 3, {KEY_LOST, KEY_LOST}),
        {"keys that do nothing, then q", {.no_module = true}, {'a', 3, KEY_FAILED, 0, 0x3B, 0xE0, 0x48, 13, 'q'}, {.screen = PROMPT}},
        {"Page Down", {.no_module = true}, {0xE0, 0x51}, {.screen = PROMPT}},
        {"Alt+F10", {.no_module = true}, {0, 0x71}, {.screen = PROMPT}},
        {"Q at the initialisation error", {.no_module = true}, {' ', ' ', 'Q'}, {.screen = INIT_ERROR}},
        {"wrong processor", {.processor = "52"}, {}, {1, STARTED + Rows{IDENTIFIED[0], {19, "PROCESSOR VERSION: 52"}, {20, "Wrong processor !!!"}, {21, CONTACT}}, {}, 0}},
        {"wrong processor after four records", {.bios_date = "12/03/06", .page_number = 200, .asic = 3, .customer = "ZOLVANT", .processor = "510"}, {}, {1, STARTED + Rows{IDENTIFIED[0], {19, "BIOS DATE: 12/03/06"}, {20, "Wrong processor !!!"}, {21, CONTACT}, {22, "CUSTOMER: ZOLVANT"}, {23, "PROCESSOR VERSION: 510"}}, {{20, "PAGE NUMBER: 200"}, {21, "ASIC VERSION: 3"}}, 0}},
        {"fall-back reset fails", {.silent_identify = true, .free_never_from = 2}, {}, {1, STARTED + Rows{{20, "Wrong module reset !!!"}, {21, CONTACT}}, {}, 0}},
        {"identification reply read error", {.identify_read_error = true}, {}, {1, {{1, BANNER}, {20, "DVB MODULE RECEIVED DATA ERROR !!!"}, {24, EXIT}}}},
        failing("wrong page 0 marker", {}, {{20, "Exit: ESC"}, {3, "wrong page0 binary file\n"}}, 0, {27, 27}, 0),
        failing("wrong page 1 marker", {}, {{3, "Update code page 0 under process"}, {20, "Exit: ESC"}, {3, "wrong page1 binary file\n"}}, 236, {27, 27}, 1),
    };
    const Rows FLAWED = {{3, INCONSISTENCY}, {4, SUPPORT}};
    const std::pair<uint16_t, Rows> replies[] = {{0x6481, FLAWED}, {0x6500, FLAWED}, {0x6701, FLAWED}, {0x6A82, FLAWED}, {0x6581, {{3, "Critical Flash memory error "}, {4, SUPPORT}}},
        {0x6400, {{3, "Flash memory error "}, {4, "You can restart update process."}, {5, "CAUTION: Please, remove DVB Module from PCMCIA Reader before starting update process!!"}}},
        {0x6700, {{3, "Length Block error. "}, {4, "Please, check if your file is correct."}}}};
    for (const auto &[sw, lines] : replies)
        for (int page = 0; page < 2; ++page) {
            char name[32];
            std::snprintf(name, sizeof name, "reply %04X to page %d", sw, page);
            const Rows shown = Rows{{3, "Update code page " + std::to_string(page) + " under process"}, {3, CLEARED}} + lines + Rows{{20, "Exit: ESC"}};
            // Keys other than ESC leave an error screen as it is; so does SPACE the outcome.
            all.push_back({name, at(SIM_REPLY_SW, page, page ? 100 : 1, sw), {'Q', 'q', ' ', 0xE0, 0x51, 27, ' ', 27}, {.screen = FAILED, .shown = shown, .frames = page ? 336 : 1}});
        }
    // clang-format on
    return all;
}

bool written_in_order(const Rows &shown) {
    size_t next = 0;
    for (const auto &write : vscreen.writes) next += next < shown.size() && write == shown[next];
    return next == shown.size();
}

class Run : public testing::TestWithParam<Scenario> {};

TEST_P(Run, EndsAsExpected) {
    const Scenario &s = GetParam();
    const Expect &e = s.e;
    module_link = ModuleLink{};
    buffer_size = frame_mode = 0;
    sim_clock_set_ms(0);
    sim_config = s.config;
    sim_reset();
    vscreen_reset();
    vscreen.keys.assign(s.keys.begin(), s.keys.end());
    vscreen.held_signal = s.signal;
    if (s.bad_marker >= 0) test_image_bytes[s.bad_marker][MARKER_OFFSET + 1] ^= 0x20;
    int code = WAITING;
    try {
        code = run_until_exit([] { process_exit(program_entry()); });
    } catch (const KeysExhausted &) {
    }
    if (s.bad_marker >= 0) test_image_bytes[s.bad_marker][MARKER_OFFSET + 1] ^= 0x20;

    EXPECT_EQ(code, e.exit_code);
    EXPECT_EQ(vscreen_dump(), rows_dump(e.screen));
    EXPECT_EQ(vscreen.cells[1].substr(0, 35), " RIV IZEVEZ EDURAVA ZUZERA V6.00   ");
    EXPECT_TRUE(written_in_order(e.shown));
    EXPECT_EQ(std::tuple(vscreen.keys.size(), vscreen.shielded, vscreen.keys_read_shielded,
                         sim_record.frames_after_error),
              std::tuple(0u, false, 0, 0))
        << "keys left, shield left up, keys read while blocks are written, frames after an error";
    EXPECT_EQ(sim_record.protocol_errors, std::vector<std::string>{});
    EXPECT_TRUE(e.screen != SUCCESS || (sim_page_matches_image(0) && sim_page_matches_image(1)));
    const int64_t mode = sim_record.frame_mode ? *sim_record.frame_mode : -1;
    const int64_t got[] = {sim_record.frames, sim_fw.frame_size, sim_record.negotiated, mode,
                           tick_count()};
    const int64_t want[] = {e.frames, e.frame, e.negotiated, e.mode, e.ms};
    for (size_t i = 0; i < std::size(got); ++i)
        EXPECT_TRUE(want[i] < 0 || got[i] == want[i])
            << got[i] << " as frames, frame length, negotiated size, mode, ms #" << i;
}

INSTANTIATE_TEST_SUITE_P(Rows, Run, testing::ValuesIn(scenarios()), [](const auto &info) {
    std::string name = info.param.name;
    for (char &ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

} // namespace
