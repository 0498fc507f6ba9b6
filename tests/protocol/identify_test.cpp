// The identification records: the rows shown and the frame mode.
#include <gtest/gtest.h>

#include "protocol/identify.h"
#include "protocol/run_state.h"
#include "tests/support/virtual_screen.h"

namespace {

using Bytes = std::vector<uint8_t>;
Bytes rec(uint8_t tag, const std::string &text) {
    return Bytes{tag, uint8_t(text.size())} + Bytes(text.begin(), text.end());
}
// A reply: a header, `body`, and a byte past its end.
void show(const Bytes &body) {
    const Bytes reply = Bytes{0x12, 1, 0} + body + Bytes{1};
    vscreen_reset();
    frame_mode = 9;
    identify_show_records(reply.data(), uint16_t(reply.size() - 1));
}

TEST(Records, WalkTheReply) {
    // Unknown tags, a zero in a text, control bytes, empty numbers, a value cut short.
    show(rec(0xC8, "yy") + Bytes{5, 7, 'A', 31, 127, 159, 160, 0, 'C'} + rec(1, "1.07") +
         Bytes{3, 0, 4, 0, 2, 9, 'E'});
    EXPECT_EQ(vscreen_dump(), rows_dump({{18, "CUSTOMER: A???\xa0"},
                                         {19, "BIOS REVISION: 1.07"},
                                         {20, "PAGE NUMBER: 0"},
                                         {21, "ASIC VERSION: 0"},
                                         {22, "BIOS DATE: E"}}));
    EXPECT_EQ(frame_mode, 1);
    show({3, 0, 1}); // a tag as the last byte
    EXPECT_EQ(vscreen_dump(), rows_dump({{18, "PAGE NUMBER: 0"}}));
    show(rec(1, "1.06")); // the last revision of mode 0
    EXPECT_EQ(frame_mode, 0);
}

} // namespace
