#include <gtest/gtest.h>

#include <vector>

#include "console/screen.h"
#include "link/ci_link.h"
#include "link/tick.h"
#include "protocol/frame.h"
#include "protocol/run_state.h"
#include "sim/sim_internal.h"
#include "tests/support/sim_harness.h"

TEST(FrameBuild, IdentificationRequestBytes) {
    uint8_t frame[16] = {};
    EXPECT_EQ(frame_build(frame, 0x01, INS_IDENTIFY, 0, 0, nullptr, 0), 9);
    const uint8_t expected[] = {0x12, 0x01, 0x05, 0x80, 0x13, 0x00, 0x00, 0x00, 0x85};
    EXPECT_EQ(std::vector<uint8_t>(frame, frame + 9), std::vector<uint8_t>(expected, expected + 9));
    EXPECT_EQ(frame[9], 0); // nothing written past the frame
}

TEST(FrameBuild, UpdateFrameFor128ByteBuffer) {
    std::vector<uint8_t> data(119);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 5);
    uint8_t frame[130] = {};
    EXPECT_EQ(frame_build(frame, 0x00, INS_WRITE_BLOCK, 1, 0, data.data(), 119), 128);
    EXPECT_EQ(frame[2], 0x7C);
    EXPECT_EQ(frame[7], 0x77);
    EXPECT_EQ(frame[5], 1);
    EXPECT_EQ(frame[8 + 118], data[118]);
    uint8_t all = 0;
    for (int i = 0; i < 128; ++i) all ^= frame[i];
    EXPECT_EQ(all, 0);
    EXPECT_EQ(frame[128], 0);
}

// An exchange of the identification request with a module that answers after `delay_ms`.
static int exchange_with_delay(uint32_t delay_ms, uint16_t *length, uint32_t *elapsed) {
    harness_reset({.block_ms = delay_ms});
    harness_detect();
    uint8_t frame[300] = {};
    *length = frame_build(frame, 0x01, INS_IDENTIFY, 0, 0, nullptr, 0);
    const uint32_t start = tick_count();
    const int result = frame_exchange(frame, sizeof frame, length);
    *elapsed = tick_count() - start;
    return result;
}

TEST(FrameExchange, ReplyAtOnceNeedsNoWait) {
    uint16_t length = 0;
    uint32_t elapsed = 99;
    EXPECT_EQ(exchange_with_delay(0, &length, &elapsed), 0);
    EXPECT_EQ(elapsed, 0u);
    EXPECT_EQ(length, 3 + 6 + 4); // header, BIOS and processor records
}

TEST(FrameExchange, FortiethPollIsTheLast) {
    uint16_t length = 0;
    uint32_t elapsed = 0;
    // Poll k comes (k - 1) x 50 ms after the send: the 40th at 1950 ms.
    EXPECT_EQ(exchange_with_delay(1950, &length, &elapsed), 0);
    EXPECT_EQ(elapsed, 1950u);
    EXPECT_EQ(exchange_with_delay(1951, &length, &elapsed), -1);
    EXPECT_EQ(elapsed, 2000u);
    EXPECT_EQ(length, 9); // unchanged
}

TEST(FrameExchange, ModuleGoneEndsTheExchangeLikeAReply) {
    harness_reset({.remove_in_identify = 0});
    harness_detect();
    uint8_t frame[300] = {};
    uint16_t length = frame_build(frame, 0x01, INS_IDENTIFY, 0, 0, nullptr, 0);
    EXPECT_EQ(frame_exchange(frame, sizeof frame, &length), 0);
    EXPECT_EQ(length, 9);
    EXPECT_EQ(frame[3], 0x80); // the request is still in the buffer
}

TEST(FrameExchange, ReplyTransferErrorIsFatal) {
    harness_reset({.block_ms = 0});
    harness_detect();
    sim_config.silent_identify = true;
    uint8_t frame[300] = {};
    uint16_t length = frame_build(frame, 0x01, INS_IDENTIFY, 0, 0, nullptr, 0);
    sim_schedule_reply({0x12, 0x01, 0x00, 0x13}, 0, true); // a reply whose read fails
    const int code = run_until_exit([&] { frame_exchange(frame, sizeof frame, &length); });
    EXPECT_EQ(code, 1);
    EXPECT_EQ(vscreen_row(1), std::string(" ") + BANNER);
    EXPECT_EQ(vscreen_row(20), " DVB MODULE RECEIVED DATA ERROR !!!");
    EXPECT_EQ(vscreen_row(24), " EXIT WITH 'Q'");
    EXPECT_EQ(vscreen.keys_read, 0);
}
