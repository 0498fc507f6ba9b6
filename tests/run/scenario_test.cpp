#include <gtest/gtest.h>

#include "link/tick.h"
#include "platform/console.h"
#include "protocol/identify.h"
#include "tests/support/run_check.h"

namespace {

const std::string B = "RIV IZEVEZ EDURAVA ZUZERA V6.00   ciflash, free flash tool for CI modules";
const std::string INCONSISTENT = "Inconsistance error ",
                  SUPPORT = "Contact Zolvant technical support!!!";
const std::string EXIT = "EXIT WITH 'Q'", ESC = "Exit: ESC";
const std::string CONTACT = " Contact Zolvant Technical Support", BLANK(45, ' ');
const Rows SUCCESS = {{1, B}, {15, "UPDATE SUCCESSFULL. "}, {24, EXIT}};
const Rows FAILED = {{1, B}, {20, "UPDATE ERROR !!!"}, {24, EXIT}};
const Rows STARTED = {{1, B}, {3, "INITIALISATION"}},
           ID = {{18, "BIOS REVISION: 1.07"}, {19, "PROCESSOR VERSION: 51"}};
const Rows PROMPT = STARTED + Rows{{15, "PLEASE, INSERT A DVB MODULE"},
                                   {16, "AND WAIT FOR THE BEEPS BEFORE PRESSING 'SPACE BAR'"},
                                   {24, EXIT}};
const Rows INIT_ERROR =
    STARTED + Rows{PROMPT[2], PROMPT[3], {20, "DVB MODULE INITIALISATION ERROR !!!"}, {24, EXIT}};
Rows pages(std::string n0, std::string n1) {
    Rows rows;
    for (const auto &[p, n] : {std::pair{"0", n0}, {"1", n1}})
        rows = rows + Rows{{1, B},
                           {3, "Erasing flash memory page " + std::string(p) + " under process"},
                           {4, "Block Number = 001 / " + n},
                           {3, BLANK},
                           {3, "Update code page " + std::string(p) + " under process"},
                           {4, "Block Number = " + n + " / " + n}};
    return rows;
}

struct Row {
    std::string name;
    RunSetup setup;
    int exit_code;
    Rows screen, shown = {}; // shown: written in this order
    bool predicted = false;
    int64_t ms = -1;
};
void PrintTo(const Row &row, std::ostream *out) {
    *out << row.name;
}
RunSetup at(SimEventKind kind, int page, int block, uint32_t value, std::vector<int> keys = {}) {
    return {.config = {.events = {{kind, page, block, value}}}, .keys = keys};
}

std::vector<Row> rows() {
    const SimConfig none = {.no_module = true};
    const Rows CRITICAL = {
        {1, B}, {3, "Critical Flash memory error "}, {4, SUPPORT}, ID[0], ID[1], {20, ESC}};
    std::vector<Row> all = {
        {"module_in_the_reader_left_with_Q",
         {.keys = {' ', ' ', 'x', 'Q'}},
         0,
         SUCCESS,
         STARTED + ID + pages("236", "234") + SUCCESS,
         true,
         3 + 50 + 2 * 310 + (235 + 233) * 20},
        {"quick_module_early_BIOS_left_with_ESC",
         {{.module_buffer = 128, .bios = "1.06", .erase_ms = 0, .block_ms = 0}, {27}},
         0,
         SUCCESS,
         pages("490", "484"),
         true,
         3 + 974 * 10},
        {"reply_limit_restarts_after_the_dialog_reset",
         {{.module_buffer = 1024,
           .erase_ms = 29000,
           .events = {{SIM_BUSY, 0, 1, 2000}, {SIM_WRITE_ERROR_KEPT, 0, 1, 0}}},
          {27}},
         0,
         SUCCESS,
         {{18, "DVB Module Dialog Error "},
          {19, "Try to send data again"},
          {4, "Block Number = 002 / 233"}},
         true},
        {"identification_answered_at_the_40th_poll",
         {{.block_ms = 1950}, {27}},
         0,
         SUCCESS,
         ID,
         true},
        {"identification_answered_too_late",
         {{.block_ms = 1951}, {27}},
         0,
         SUCCESS,
         {{4, "Block Number = 490 / 490"}},
         true},
        {"module_inserted_at_the_prompt", {{.late_insert = true}, {' ', 27}}, 0, SUCCESS, PROMPT},
        {"refusal_drawn_on_a_cleared_screen",
         {none, {' ', 27}},
         WAITING,
         {{1, B}, {3, INCONSISTENT}, {4, SUPPORT}, {20, ESC}}},
        {"hang_up_held_until_the_error_screen_is_drawn",
         {.config = at(SIM_REPLY_SW, 1, 17, 0x6581).config, .signal = 1},
         129,
         CRITICAL},
        {"ESC_ESC_typed_during_the_write",
         at(SIM_REPLY_SW, 1, 100, 0x6581, {EARLY + 27, EARLY + 27}), WAITING, CRITICAL},
        {"removed_in_the_identification",
         {{.remove_in_identify = 4}, {27, 27}},
         4,
         FAILED,
         {{3, BLANK}, {3, INCONSISTENT}, {4, SUPPORT}, {20, ESC}}},
        {"size_reply_of_1_byte", {{.size_reply_len = 1}, {27, 27, 'q'}}, 4, FAILED, PROMPT},
        {"empty_reader_SPACE_SPACE_keys_that_do_nothing_or_came_before_the_screen_ESC",
         {none,
          {EARLY + 'q', ' ', EARLY + 'q', ' ', 'a', 3, KEY_FAILED, 0, 0x3B, 0xE0, 0x48, 13, 27,
           EARLY + 27, EARLY + 27, 27, EARLY + 27, 27}},
         4,
         FAILED,
         INIT_ERROR},
        {"lost_keyboard", at(SIM_REPLY_SW, 0, 3, 0x6700, {KEY_LOST, KEY_LOST}), 4, FAILED},
        {"Q_at_the_initialisation_error", {none, {' ', ' ', 'Q'}}, 0, INIT_ERROR},
        {"wrong_processor_510",
         {{.customer = "ZOLVANT", .processor = "510"}},
         1,
         STARTED +
             Rows{ID[0], {19, "CUSTOMER: ZOLVANT"}, {20, "Wrong processor !!!510"}, {21, CONTACT}},
         {{20, "PROCESSOR VERSION: 510"}}},
        {"fall_back_reset_fails",
         {{.silent_identify = true, .free_never_from = 2}},
         1,
         STARTED + Rows{{20, "Wrong module reset !!!"}, {21, CONTACT}}},
        {"identification_reply_read_error",
         {{.identify_read_error = true}},
         1,
         {{1, B}, {20, "DVB MODULE RECEIVED DATA ERROR !!!"}, {24, EXIT}}},
        {"wrong_page_1_marker",
         {.keys = {27, 'q'}, .bad_marker = 1},
         4,
         FAILED,
         {{3, "Update code page 0 under process"}, {20, ESC}, {3, "wrong page1 binary file\n"}}},
    };
    const Rows FLAWED = {{3, INCONSISTENT}, {4, SUPPORT}};
    const std::pair<uint16_t, Rows> replies[] = {
        {0x6481, FLAWED},
        {0x6701, FLAWED},
        {0x6581, {{3, "Critical Flash memory error "}, {4, SUPPORT}}},
        {0x6400,
         {{3, "Flash memory error "},
          {4, "You can restart update process."},
          {5, "CAUTION: Please, remove DVB Module from PCMCIA Reader before starting update "
              "process!!"}}},
        {0x6700, {{3, "Length Block error. "}, {4, "Please, check if your file is correct."}}}};
    int page = 0;
    for (const auto &[sw, lines] : replies) {
        char name[40];
        std::snprintf(name, sizeof name, "reply_%04X_to_page_%d_left_with_%s", sw, page,
                      page ? "Q" : "ESC");
        const std::vector<int> keys = {EARLY + 27,     'Q', 'q', ' ', 0xE0, 0x51, 27, ' ',
                                       page ? 'q' : 27};
        const Rows shown =
            Rows{{3, "Update code page " + std::to_string(page) + " under process"}, {3, BLANK}} +
            lines + Rows{{20, ESC}};
        all.push_back(
            {name, at(SIM_REPLY_SW, page, page ? 100 : 1, sw, keys), 4, FAILED, shown, true});
        page ^= 1;
    }
    return all;
}

std::string missing_line(const Rows &shown) {
    size_t next = 0;
    for (const auto &write : vscreen.writes) next += next < shown.size() && write == shown[next];
    return next < shown.size() ? rows_dump({shown[next]}) : "";
}

class Run : public testing::TestWithParam<Row> {};

TEST_P(Run, EndsAsExpected) {
    const Row &r = GetParam();
    const int code = run_program(r.setup);
    EXPECT_EQ(code, r.exit_code);
    EXPECT_EQ(vscreen_dump(), rows_dump(r.screen));
    EXPECT_EQ(missing_line(r.shown), "");
    EXPECT_EQ(vscreen.keys.size(), 0u) << "keys left";
    EXPECT_EQ(check_run(r.setup, code, r.predicted), "");
    EXPECT_TRUE(r.ms < 0 || tick_count() == r.ms) << tick_count() << " ms";
}

TEST(Identification, TagOnTheLastByte) {
    const uint8_t reply[] = {0, 0, 0, IDENT_PROCESSOR, 2, '5', '2'};
    vscreen_reset();
    EXPECT_EQ(run_until_exit([&] { identify_show_records(reply, 4); }), -1);
    EXPECT_TRUE(vscreen.writes.empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, Run, testing::ValuesIn(rows()), testing::PrintToStringParamName());

} // namespace
