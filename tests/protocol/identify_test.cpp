// The identification records of a reply: the rows they leave, the frame mode (9 before) and the
// refusal of a processor other than "51".
#include <gtest/gtest.h>

#include "protocol/identify.h"
#include "protocol/run_state.h"
#include "tests/support/virtual_screen.h"

namespace {

using Bytes = std::vector<uint8_t>;
Bytes rec(uint8_t tag, const std::string &text) {
    return Bytes{tag, uint8_t(text.size())} + Bytes(text.begin(), text.end());
}
// Shows the records of a reply made of a header and `body`, with one byte past its end.
int show(const Bytes &body) {
    const Bytes reply = Bytes{0x12, 0x01, 0x00} + body + Bytes{0x99};
    vscreen_reset();
    frame_mode = 9;
    return run_until_exit([&] { identify_show_records(reply.data(), uint16_t(reply.size() - 1)); });
}

TEST(Records, WalkTheReply) {
    // Unknown tags, a zero byte ending a text, control bytes, numbers of length 0, a value cut at
    // the reply's end; the last revision decides the mode.
    EXPECT_EQ(show(rec(1, "2.00") + rec(0xC8, "yy") +
                   Bytes{5, 7, 'A', 0x1F, 0x7F, 0x9F, 0xA0, 0, 'C'} + rec(1, "1.05") +
                   Bytes{3, 0, 4, 0, 2, 9, 'E'}),
              -1);
    EXPECT_EQ(vscreen_dump(), rows_dump({{18, "BIOS REVISION: 2.00"},
                                         {19, "CUSTOMER: A???\xa0"},
                                         {20, "BIOS REVISION: 1.05"},
                                         {21, "PAGE NUMBER: 0"},
                                         {22, "ASIC VERSION: 0"},
                                         {23, "BIOS DATE: E"}}));
    EXPECT_EQ(frame_mode, 0);
    EXPECT_EQ(show({3, 0, 1}), -1) << "a tag on the last byte ends the list";
    EXPECT_EQ(vscreen_dump(), rows_dump({{18, "PAGE NUMBER: 0"}}));
    EXPECT_EQ(show(rec(6, "51x") + rec(2, "never shown")), 1);
    EXPECT_EQ(vscreen_dump(), rows_dump({{18, "PROCESSOR VERSION: 51x"},
                                         {20, "Wrong processor !!!"},
                                         {21, " Contact Zolvant Technical Support"}}));
}

TEST(Records, RevisionRule) {
    const std::pair<std::string, int> rows[] = {{"1.06", 0},    {"1x00", 0}, {"1.0", 0},
                                                {"1.0\x80", 0}, {"1.07", 1}, {"1.10", 1},
                                                {"2.00", 1},    {"1.", 1}};
    for (const auto &[text, mode] : rows) {
        show(rec(1, text));
        EXPECT_EQ(frame_mode, mode) << "revision '" << text << "'";
    }
}

} // namespace
