// Whole runs against a failing or hostile module: every scenario must end (on the virtual
// clock), on the expected screen, with the expected exit code, and never send a frame after
// the module answered an error.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "console/screen.h"
#include "sim/sim_clock.h"
#include "tests/support/sim_harness.h"

namespace {

enum Outcome { SUCCESS, UPDATE_ERROR, FATAL };

struct Scenario {
    std::string name;
    SimConfig config;
    Outcome outcome;
    // (row, text) written at some point of the run, and exact at its end when the row is 20.
    std::vector<std::pair<int, std::string>> shown;
    std::vector<int> keys; // before the outcome screen's ESC
};

const char *const INCONSISTENCY = "Inconsistance error ";
const char *const DIALOG = "DVB Module Dialog Error ";

SimConfig with_event(SimEventKind kind, int page, int block, uint32_t value = 0) {
    SimConfig config;
    config.events.push_back({kind, page, block, value});
    return config;
}

std::vector<Scenario> scenarios() {
    std::vector<Scenario> all;
    const struct {
        uint16_t sw;
        const char *row3;
    } replies[] = {{0x6481, INCONSISTENCY},
                   {0x6400, "Flash memory error "},
                   {0x6581, "Critical Flash memory error "},
                   {0x6500, INCONSISTENCY},
                   {0x6700, "Length Block error. "},
                   {0x6701, INCONSISTENCY},
                   {0x6A82, INCONSISTENCY}};
    for (const auto &r : replies)
        for (int page = 0; page < 2; ++page) {
            const int block = page == 0 ? 1 : 100;
            char name[40];
            std::snprintf(name, sizeof name, "reply %04X on %d:%d", r.sw, page, block);
            all.push_back({name,
                           with_event(SIM_REPLY_SW, page, block, r.sw),
                           UPDATE_ERROR,
                           {{3, r.row3}},
                           {27}});
        }

    // Pulled out: before and during the identification, and at blocks of each page.
    SimConfig before_identify, during_identify;
    before_identify.remove_in_identify = 0;
    during_identify.remove_in_identify = 4;
    all.push_back({"removed before identification",
                   before_identify,
                   UPDATE_ERROR,
                   {{3, INCONSISTENCY}},
                   {27}});
    all.push_back({"removed during identification",
                   during_identify,
                   UPDATE_ERROR,
                   {{3, INCONSISTENCY}},
                   {27}});
    for (auto [page, block] : {std::pair{0, 1}, {0, 118}, {0, 236}, {1, 1}, {1, 117}, {1, 234}})
        all.push_back({"removed before " + std::to_string(page) + ":" + std::to_string(block),
                       with_event(SIM_REMOVE, page, block),
                       UPDATE_ERROR,
                       {{3, INCONSISTENCY}},
                       {27}});

    all.push_back({"write error",
                   with_event(SIM_WRITE_ERROR, 0, 5),
                   UPDATE_ERROR,
                   {{18, DIALOG}, {19, "Try to send data again"}, {19, DIALOG}},
                   {27}});
    all.push_back(
        {"read error", with_event(SIM_READ_ERROR, 1, 10), UPDATE_ERROR, {{19, DIALOG}}, {27}});
    all.push_back({"busy", with_event(SIM_BUSY, 0, 50), UPDATE_ERROR, {{19, DIALOG}}, {27}});
    all.push_back({"hang", with_event(SIM_HANG, 1, 200), UPDATE_ERROR, {{19, DIALOG}}, {27}});
    // Replies too short to carry a status word leave the frame's class byte in its place.
    for (uint32_t length : {0u, 1u, 3u})
        all.push_back({"reply of " + std::to_string(length) + " bytes",
                       with_event(SIM_REPLY_LEN, 0, 2, length),
                       UPDATE_ERROR,
                       {{3, INCONSISTENCY}},
                       {27}});
    all.push_back({"reply of 4 bytes", with_event(SIM_REPLY_LEN, 0, 2, 4), SUCCESS, {}, {}});
    all.push_back({"reply of 65535 bytes",
                   with_event(SIM_REPLY_LEN, 0, 2, 65535),
                   UPDATE_ERROR,
                   {{19, DIALOG}},
                   {27}});

    // The reset's size reply: too short fails the detection (prompt, ESC goes on).
    for (int length : {0, 1}) {
        SimConfig config;
        config.size_reply_len = length;
        all.push_back({"size reply of " + std::to_string(length) + " bytes",
                       config,
                       UPDATE_ERROR,
                       {{15, "PLEASE, INSERT A DVB MODULE"}, {3, INCONSISTENCY}},
                       {27, 27}});
    }
    for (int length : {2, 3}) {
        SimConfig config;
        config.size_reply_len = length;
        all.push_back(
            {"size reply of " + std::to_string(length) + " bytes", config, SUCCESS, {}, {}});
    }

    // Offered buffer sizes: an update frame needs 10 bytes; beyond 259 frames stay at 259.
    for (int offered : {0, 9}) {
        SimConfig config;
        config.module_buffer = static_cast<uint16_t>(offered);
        all.push_back({"module offers " + std::to_string(offered),
                       config,
                       UPDATE_ERROR,
                       {{3, INCONSISTENCY}},
                       {27}});
    }
    for (int offered : {10, 259, 260, 270, 1024}) {
        SimConfig config;
        config.module_buffer = static_cast<uint16_t>(offered);
        all.push_back({"module offers " + std::to_string(offered), config, SUCCESS, {}, {}});
    }

    SimConfig silent;
    silent.silent_identify = true;
    all.push_back({"silent identification", silent, SUCCESS, {}, {}});
    SimConfig silent_no_reset = silent;
    silent_no_reset.free_never_from = 2;
    all.push_back(
        {"fall-back reset fails", silent_no_reset, FATAL, {{20, "Wrong module reset !!!"}}, {}});
    SimConfig reset_fails;
    reset_fails.free_never_from = 1;
    all.push_back({"reset never frees the interface",
                   reset_fails,
                   UPDATE_ERROR,
                   {{15, "PLEASE, INSERT A DVB MODULE"}, {3, INCONSISTENCY}},
                   {27, 27}});
    SimConfig wrong_processor;
    wrong_processor.processor = "80C51";
    all.push_back({"wrong processor", wrong_processor, FATAL, {{20, "Wrong processor !!!"}}, {}});
    SimConfig identify_re;
    identify_re.identify_read_error = true;
    all.push_back({"identification reply read error",
                   identify_re,
                   FATAL,
                   {{20, "DVB MODULE RECEIVED DATA ERROR !!!"}},
                   {}});
    SimConfig late;
    late.late_insert = true;
    all.push_back({"module inserted at the prompt", late, SUCCESS, {}, {' '}});
    for (uint32_t seed : {1u, 2u, 3u, 4u}) {
        SimConfig noisy;
        noisy.seed = seed;
        noisy.fault_rate = 0.0005;
        all.push_back(
            {"random faults, seed " + std::to_string(seed), noisy, UPDATE_ERROR, {}, {27}});
    }
    return all;
}

void PrintTo(const Scenario &s, std::ostream *out) {
    *out << s.name;
}

class FaultMatrix : public testing::TestWithParam<Scenario> {};

TEST_P(FaultMatrix, EndsOnTheExpectedScreen) {
    const Scenario &s = GetParam();
    SimConfig config = s.config;
    config.erase_ms = 300;
    harness_reset(config);
    for (int key : s.keys) vscreen.keys.push_back(key);
    if (s.outcome != FATAL) vscreen.keys.push_back(27);

    int code = -3;
    try {
        code = harness_run_program();
    } catch (const KeysExhausted &) {
        FAIL() << "waited for a key that never came\n" << vscreen_dump();
    }
    SCOPED_TRACE(vscreen_dump());
    // The longest legitimate run, 10-byte frames, takes about 20 virtual minutes.
    EXPECT_LT(sim_clock_virtual_us(), 60ull * 60 * 1000 * 1000) << "ran more than a virtual hour";
    EXPECT_TRUE(vscreen.keys.empty());
    EXPECT_EQ(sim_record.frames_after_error, 0);
    EXPECT_FALSE(vscreen.shielded);
    EXPECT_EQ(vscreen.keys_read_shielded, 0);
    for (const auto &[row, text] : s.shown) {
        const std::vector<std::string> writes = vscreen_writes_at(row);
        EXPECT_NE(std::find(writes.begin(), writes.end(), text), writes.end())
            << "row " << row << ": " << text;
    }

    const bool noisy = s.config.fault_rate > 0;
    switch (s.outcome) {
    case SUCCESS:
        EXPECT_EQ(code, 0);
        EXPECT_EQ(vscreen_row(15), " UPDATE SUCCESSFULL.");
        EXPECT_TRUE(sim_page_matches_image(0));
        EXPECT_TRUE(sim_page_matches_image(1));
        EXPECT_TRUE(sim_record.protocol_errors.empty()) << sim_record.protocol_errors.at(0);
        EXPECT_EQ(sim_record.pages[1].data.size() / static_cast<size_t>(sim_record.pages[1].blocks),
                  std::min<size_t>(sim_record.negotiated, 259) - 9);
        break;
    case UPDATE_ERROR:
        EXPECT_EQ(code, 0);
        if (noisy && vscreen_row(15) == " UPDATE SUCCESSFULL.") {
            // A noisy run may get through; then nothing may have been corrupted on the way.
            EXPECT_TRUE(sim_page_matches_image(0) && sim_page_matches_image(1));
            break;
        }
        EXPECT_EQ(vscreen_row(1), " " + std::string(BANNER));
        EXPECT_EQ(vscreen_row(20), " UPDATE ERROR !!!");
        EXPECT_EQ(vscreen_row(24), " EXIT WITH 'Q'");
        break;
    case FATAL:
        EXPECT_EQ(code, 1);
        EXPECT_EQ(sim_record.frames, 0);
        for (const auto &[row, text] : s.shown) EXPECT_EQ(vscreen_row(row), " " + text);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultMatrix, testing::ValuesIn(scenarios()),
                         [](const testing::TestParamInfo<Scenario> &info) {
                             std::string name;
                             for (char c : info.param.name)
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

} // namespace
