// The simulated module's protocol side: identification records, block checks and page storage.
#include <gtest/gtest.h>

#include <vector>

#include "link/ci_link.h"
#include "protocol/frame.h"
#include "protocol/page_image.h"
#include "protocol/run_state.h"
#include "tests/support/sim_harness.h"

// Sends a frame and collects the module's reply (polling on the virtual clock).
static std::vector<uint8_t> exchange(std::vector<uint8_t> frame) {
    frame.resize(1300);
    uint16_t length = static_cast<uint16_t>(frame[2] + 4);
    EXPECT_EQ(frame_exchange(frame.data(), 1300, &length), 0);
    frame.resize(length);
    return frame;
}

static std::vector<uint8_t> block_frame(int page, int block, uint8_t fill = 0) {
    const uint16_t block_len = static_cast<uint16_t>(buffer_size - FRAME_OVERHEAD);
    const PageImage &image = page ? page_image_1 : page_image_0;
    std::vector<uint8_t> data(block_len, fill);
    const uint32_t offset = static_cast<uint32_t>(block - 1) * block_len;
    for (uint32_t i = 0; i < block_len && offset + i < image.size; ++i)
        data[i] = image.bytes[offset + i];
    std::vector<uint8_t> frame(buffer_size);
    frame_build(frame.data(), 1, INS_WRITE_BLOCK, static_cast<uint8_t>(page), block == 1,
                data.data(), block_len);
    return frame;
}

TEST(SimFirmware, IdentificationReplyCarriesTheConfiguredRecordsInTagOrder) {
    harness_reset({.bios = "1.05",
                   .bios_date = "2006",
                   .page_number = 2,
                   .asic = 7,
                   .customer = "Z",
                   .processor = "51"});
    harness_detect();
    const std::vector<uint8_t> reply =
        exchange({0x12, 0x01, 0x05, 0x80, 0x13, 0x00, 0x00, 0x00, 0x85});
    const std::vector<uint8_t> body = {1, 4, '1', '.', '0', '5', 2, 4,   '2', '0', '0', '6', 3,
                                       1, 2, 4,   1,   7,   5,   1, 'Z', 6,   2,   '5', '1'};
    ASSERT_EQ(reply.size(), body.size() + 3);
    EXPECT_EQ(std::vector<uint8_t>(reply.begin() + 3, reply.end()), body);
}

TEST(SimFirmware, BlocksAreStoredPerPageAndErasedOnTheFirstBlock) {
    harness_reset({.module_buffer = 128});
    harness_detect();
    exchange({0x12, 0x01, 0x05, 0x80, 0x13, 0x00, 0x00, 0x00, 0x85});
    for (int block = 1; block <= 490; ++block) {
        const std::vector<uint8_t> reply = exchange(block_frame(0, block, 0xFF));
        ASSERT_EQ(reply.at(3), 0x90) << "block " << block;
    }
    EXPECT_TRUE(sim_page_matches_image(0));
    EXPECT_EQ(sim_record.pages[0].blocks, 490);
    EXPECT_FALSE(sim_page_matches_image(1));
    EXPECT_TRUE(sim_record.protocol_errors.empty());
}

TEST(SimFirmware, PaddingOtherThanFfOrAMissingBlockDoesNotMatchTheImage) {
    harness_reset({.module_buffer = 128});
    harness_detect();
    exchange({0x12, 0x01, 0x05, 0x80, 0x13, 0x00, 0x00, 0x00, 0x85});
    for (int block = 1; block <= 490; ++block) exchange(block_frame(0, block, 0x00));
    EXPECT_FALSE(sim_page_matches_image(0)); // last block padded with 0x00
}

TEST(SimFirmware, OutOfOrderBlocksAndWrongFlagsAreRefusedAndRecorded) {
    harness_reset({.module_buffer = 128});
    harness_detect();
    exchange({0x12, 0x01, 0x05, 0x80, 0x13, 0x00, 0x00, 0x00, 0x85});
    std::vector<uint8_t> reply = exchange(block_frame(0, 2)); // p2 = 0 on the page's first block
    EXPECT_EQ(reply.at(3), 0x64);
    EXPECT_EQ(sim_record.protocol_errors.at(0), "first-block flag wrong on block 1");
    reply = exchange(block_frame(0, 1));
    EXPECT_EQ(sim_record.frames_after_error, 1);
    std::vector<uint8_t> corrupt = block_frame(0, 2);
    corrupt[20] ^= 0x01;
    reply = exchange(corrupt);
    EXPECT_EQ(sim_record.protocol_errors.back(), "frame check byte wrong");
}

TEST(SimFirmware, BlockFramesUpToTheNegotiatedSizeServeWhenAllOfOneLength) {
    const struct {
        uint16_t first, second; // frame lengths; 0: not sent
        uint8_t sw1_first, sw1_second;
    } cases[] = {{127, 127, 0x90, 0x90}, {128, 127, 0x90, 0x67}, {129, 0, 0x67, 0}};
    for (const auto &c : cases) {
        harness_reset({.module_buffer = 128});
        harness_detect();
        exchange({0x12, 0x01, 0x05, 0x80, 0x13, 0x00, 0x00, 0x00, 0x85});
        buffer_size = c.first;
        EXPECT_EQ(exchange(block_frame(0, 1)).at(3), c.sw1_first) << c.first;
        if (!c.second) continue;
        buffer_size = c.second;
        EXPECT_EQ(exchange(block_frame(0, 2)).at(3), c.sw1_second) << c.second;
    }
}
