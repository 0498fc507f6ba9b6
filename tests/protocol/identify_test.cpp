// The identification records of a reply: one row per reply body, with the screen it leaves, the
// frame mode after it (9 before) and the exit code when it ends the run.
#include <gtest/gtest.h>

#include "protocol/identify.h"
#include "protocol/run_state.h"
#include "tests/support/virtual_screen.h"

namespace {

using Bytes = std::vector<uint8_t>;
Bytes rec(uint8_t tag, const std::string &text) {
    return Bytes{tag, uint8_t(text.size())} + Bytes(text.begin(), text.end());
}
// Reads the records of a reply made of a header and `body`, with one byte past its end.
int show(const Bytes &body) {
    const Bytes reply = Bytes{0x12, 0x01, 0x00} + body + Bytes{0x99};
    vscreen_reset();
    return run_until_exit([&] { identify_show_records(reply.data(), uint16_t(reply.size() - 1)); });
}
struct RecordCase { // the body follows the three header bytes; exit code -1: returned
    const char *name;
    Bytes body;
    Rows screen;
    int mode = 9, exit_code = -1;
};

// clang-format off
const RecordCase CASES[] = {
    {"unknown tags take no row, the last revision decides", rec(1, "2.00") + rec(7, "x") + rec(0, "") + rec(0xC8, "yy") + rec(1, "1.05"), {{18, "BIOS REVISION: 2.00"}, {19, "BIOS REVISION: 1.05"}}, 0},
    {"a zero byte ends the text, not the record", {5, 6, 'A', 'B', 0, 'C', 'D', 'E', 2, 1, 'D'}, {{18, "CUSTOMER: AB"}, {19, "BIOS DATE: D"}}},
    {"numbers of length 0, a value cut at the reply's end", {3, 0, 4, 0, 5, 40, 'E', 'N', 'D'}, {{18, "PAGE NUMBER: 0"}, {19, "ASIC VERSION: 0"}, {20, "CUSTOMER: END"}}},
    {"a tag on the last byte ends the list", {3, 0, 1}, {{18, "PAGE NUMBER: 0"}}},
    {"control bytes", rec(5, "A\x1b[2J\x7f\x9b\xa0Z"), {{18, "CUSTOMER: A?[2J??\xa0Z"}}},
    {"the request itself", {0x80, 0x13, 0, 0, 0, 0x85}, {}},
    {"processor 5", rec(1, "1.07") + rec(6, "5") + rec(2, "never shown"), {{18, "BIOS REVISION: 1.07"}, {19, "PROCESSOR VERSION: 5"}, {20, "Wrong processor !!!"}, {21, " Contact Zolvant Technical Support"}}, 1, 1},
};
// clang-format on

class Records : public testing::TestWithParam<RecordCase> {};

TEST_P(Records, ShowAndApply) {
    const RecordCase &c = GetParam();
    SCOPED_TRACE(c.name);
    frame_mode = 9;
    EXPECT_EQ(show(c.body), c.exit_code);
    EXPECT_EQ(vscreen_dump(), rows_dump(c.screen));
    EXPECT_EQ(frame_mode, c.mode);
}

INSTANTIATE_TEST_SUITE_P(Rows, Records, testing::ValuesIn(CASES));

TEST(Records, RevisionRule) {
    const std::pair<std::string, int> rows[] = {
        {"1.05", 0}, {"1.00", 0}, {"1.06", 0}, {"1x05", 0}, {"1.0", 0}, {"1.0\x80", 0}, {"1.07", 1},
        {"1.10", 1}, {"2.00", 1}, {"1.0A", 1}, {"1", 1},    {"1.", 1},  {"", 1}};
    for (const auto &[text, mode] : rows) {
        frame_mode = 9;
        show(rec(1, text));
        EXPECT_EQ(frame_mode, mode) << "revision '" << text << "'";
    }
}

} // namespace
