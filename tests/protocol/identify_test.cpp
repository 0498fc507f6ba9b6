// The identification records of a reply: one row per reply body, with the screen it leaves,
// the frame mode after it (9 before) and the exit code when it ends the run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/identify.h"
#include "protocol/run_state.h"
#include "tests/support/virtual_screen.h"

namespace {

std::vector<uint8_t> rec(uint8_t tag, const std::string &text) {
    std::vector<uint8_t> r(text.size() + 2);
    r[0] = tag;
    r[1] = static_cast<uint8_t>(text.size());
    std::copy(text.begin(), text.end(), r.begin() + 2);
    return r;
}
std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto &p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct RecordCase {
    const char *name;
    std::vector<uint8_t> body; // after the three header bytes
    Rows screen;
    int mode = 9;
    int exit_code = -1; // -1: returned
};

std::vector<uint8_t> with_processor(const std::string &processor) {
    return join({rec(1, "1.07"), rec(6, processor), rec(2, "never shown")});
}
Rows wrong_processor(const std::string &processor) {
    return {{18, "BIOS REVISION: 1.07"},
            {19, "PROCESSOR VERSION: " + processor},
            {20, "Wrong processor !!!"},
            {21, " Contact Zolvant Technical Support"}};
}

const RecordCase CASES[] = {
    {"six records",
     join({rec(1, "1.07"),
           rec(2, "12/03/06"),
           {3, 1, 200},
           {4, 1, 3},
           rec(5, "ZOLVANT"),
           rec(6, "51")}),
     {{18, "BIOS REVISION: 1.07"},
      {19, "BIOS DATE: 12/03/06"},
      {20, "PAGE NUMBER: 200"},
      {21, "ASIC VERSION: 3"},
      {22, "CUSTOMER: ZOLVANT"},
      {23, "PROCESSOR VERSION: 51"}},
     1},
    {"unknown tags take no row; the last revision decides",
     join({rec(1, "2.00"), rec(7, "x"), rec(0, ""), rec(0xC8, "yy"), rec(1, "1.05")}),
     {{18, "BIOS REVISION: 2.00"}, {19, "BIOS REVISION: 1.05"}},
     0},
    {"a zero byte ends the text, not the record",
     {5, 6, 'A', 'B', 0, 'C', 'D', 'E', 2, 1, 'D'},
     {{18, "CUSTOMER: AB"}, {19, "BIOS DATE: D"}}},
    {"numbers of length 0 and a value cut at the reply's end",
     {3, 0, 4, 0, 5, 40, 'E', 'N', 'D'},
     {{18, "PAGE NUMBER: 0"}, {19, "ASIC VERSION: 0"}, {20, "CUSTOMER: END"}}},
    {"a tag on the last byte ends the list", {3, 0, 1}, {{18, "PAGE NUMBER: 0"}}},
    {"control bytes", rec(5, "A\x1b[2J\x7f\x9b\xa0Z"), {{18, "CUSTOMER: A?[2J??\xa0Z"}}},
    {"no records", {}, {}},
    {"the request itself", {0x80, 0x13, 0, 0, 0, 0x85}, {}},
    {"processor 52", with_processor("52"), wrong_processor("52"), 1, 1},
    {"processor 510", with_processor("510"), wrong_processor("510"), 1, 1},
    {"processor 5", with_processor("5"), wrong_processor("5"), 1, 1},
    {"empty processor", with_processor(""), wrong_processor(""), 1, 1},
};

class Records : public testing::TestWithParam<RecordCase> {};

TEST_P(Records, ShowAndApply) {
    const RecordCase &c = GetParam();
    std::vector<uint8_t> reply = {0x12, 0x01, static_cast<uint8_t>(c.body.size())};
    reply.insert(reply.end(), c.body.begin(), c.body.end());
    reply.push_back(0x99); // outside the reply: never read
    vscreen_reset();
    frame_mode = 9;
    int code = -1;
    try {
        identify_show_records(reply.data(), static_cast<uint16_t>(reply.size() - 1));
    } catch (const ProcessExit &exit) {
        code = exit.code;
    }
    EXPECT_EQ(vscreen_dump(), rows_dump(c.screen));
    EXPECT_EQ(frame_mode, c.mode);
    EXPECT_EQ(code, c.exit_code);
}

INSTANTIATE_TEST_SUITE_P(Rows, Records, testing::ValuesIn(CASES));

TEST(Records, RevisionRule) {
    const std::pair<std::string, int> rows[] = {
        {"1.05", 0}, {"1.00", 0}, {"1.06", 0}, {"1x05", 0}, {"1.0", 0}, {"1.0\x80", 0}, {"1.07", 1},
        {"1.10", 1}, {"2.00", 1}, {"1.0A", 1}, {"1", 1},    {"1.", 1},  {"", 1}};
    vscreen_reset();
    for (const auto &[text, mode] : rows) {
        frame_mode = 9;
        const std::vector<uint8_t> reply = join({{0x12, 0x01, 0x00}, rec(1, text)});
        identify_show_records(reply.data(), static_cast<uint16_t>(reply.size()));
        EXPECT_EQ(frame_mode, mode) << "revision '" << text << "'";
    }
}

} // namespace
