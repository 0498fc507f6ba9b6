#include <gtest/gtest.h>

#include "tests/link/link_script.h"

TEST(Send, EmptyMessageStillAnnouncesZeroTestsWeAndGivesBackHostControl) {
    link_test_reset();
    send_ok({});
    EXPECT_EQ(ci_send(nullptr, 0), LINK_OK);
    EXPECT_EQ(module_link.command_shadow, 0);
    EXPECT_SCRIPT_DONE();
}

TEST(Send, LengthGoesLeastSignificantByteFirst) {
    link_test_reset();
    std::vector<uint8_t> message(258);
    for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i * 7);
    send_ok(message);
    EXPECT_EQ(ci_send(message.data(), 258), LINK_OK);
    EXPECT_SCRIPT_DONE();
}

TEST(Send, InterfaceNotFreeAtTheFirstReadWritesNothing) {
    link_test_reset();
    module_link.command_shadow = 0x04;
    reg_read(STATUS, 0x80);
    const uint8_t message[] = {1, 2, 3};
    EXPECT_EQ(ci_send(message, 3), LINK_BUSY);
    EXPECT_EQ(module_link.command_shadow, 0x04);
    EXPECT_SCRIPT_DONE();
}

TEST(Send, FreeDroppingAfterHostControlGivesItBack) {
    link_test_reset();
    reg_read(STATUS, 0x40);
    reg_write(STATUS, 0x01);
    reg_read(STATUS, 0x00);
    reg_write(STATUS, 0x00);
    const uint8_t message[] = {1, 2, 3};
    EXPECT_EQ(ci_send(message, 3), LINK_BUSY);
    EXPECT_EQ(module_link.command_shadow, 0);
    EXPECT_SCRIPT_DONE();
}

TEST(Send, WriteErrorAfterTheLastByteIsATransferErrorWithHostControlCleared) {
    link_test_reset();
    send_ok({0xAA, 0xBB}, 0, 0x42);
    const uint8_t message[] = {0xAA, 0xBB};
    EXPECT_EQ(ci_send(message, 2), LINK_TRANSFER_ERROR);
    EXPECT_EQ(module_link.command_shadow, 0);
    EXPECT_SCRIPT_DONE();
}

TEST(Send, ModuleGoneMidMessageStopsAndLeavesHostControlInTheShadow) {
    link_test_reset();
    reg_read(STATUS, 0x40);
    reg_write(STATUS, 0x01);
    reg_read(STATUS, 0x40);
    reg_write(SIZE_LS, 4);
    reg_write(SIZE_MS, 0);
    reg_write(DATA, 0x10);
    gone();
    const uint8_t message[] = {0x10, 0x11, 0x12, 0x13};
    EXPECT_EQ(ci_send(message, 4), LINK_NO_MODULE);
    EXPECT_EQ(module_link.command_shadow, 0x01);
    EXPECT_EQ(module_link.present, 0);
    EXPECT_EQ(ci_send(message, 4), LINK_NO_MODULE); // no port access at all now
    uint16_t length = 0;
    EXPECT_EQ(ci_receive(nullptr, 0, &length), LINK_NO_MODULE);
    EXPECT_SCRIPT_DONE();

    // The next command byte written carries HC.
    script_reset();
    reg_write(STATUS, 0x09);
    gone();
    EXPECT_EQ(ci_reset(270, &length), LINK_RESET_FAILED);
    EXPECT_EQ(module_link.command_shadow, 0x01); // RS cleared in the shadow, never written
    EXPECT_SCRIPT_DONE();
}

TEST(Receive, NoDataReadsOnlyTheStatus) {
    link_test_reset();
    reg_read(STATUS, 0x40);
    uint16_t length = 99;
    uint8_t buffer[4];
    EXPECT_EQ(ci_receive(buffer, 4, &length), LINK_NO_DATA);
    EXPECT_EQ(length, 99);
    EXPECT_SCRIPT_DONE();
}

TEST(Receive, EmptyMessageReadsNoDataByte) {
    link_test_reset();
    receive({});
    uint16_t length = 99;
    uint8_t buffer[4];
    EXPECT_EQ(ci_receive(buffer, 4, &length), LINK_OK);
    EXPECT_EQ(length, 0);
    EXPECT_SCRIPT_DONE();
}

TEST(Receive, ReadErrorKeepsTheBytesAndLengthWhateverDaAndFrSay) {
    link_test_reset();
    receive({0x12, 0x34, 0x56}, 0xC1);
    uint16_t length = 0;
    uint8_t buffer[8] = {};
    EXPECT_EQ(ci_receive(buffer, 8, &length), LINK_TRANSFER_ERROR);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(buffer[0], 0x12);
    EXPECT_EQ(buffer[2], 0x56);
    EXPECT_SCRIPT_DONE();
}

TEST(Receive, MessageLongerThanTheBufferIsDrainedButNotStored) {
    link_test_reset();
    receive({1, 2, 3, 4, 5, 6});
    uint8_t buffer[6] = {0, 0, 0, 0, 0xEE, 0xEE};
    uint16_t length = 0;
    EXPECT_EQ(ci_receive(buffer, 4, &length), LINK_TRANSFER_ERROR);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(buffer[3], 4);
    EXPECT_EQ(buffer[4], 0xEE); // nothing past the capacity
    EXPECT_SCRIPT_DONE();
}

TEST(Receive, ModuleGoneAtTheSizeLeavesTheLengthUnwritten) {
    link_test_reset();
    reg_read(STATUS, 0x80);
    reg_read(SIZE_LS, 0x05);
    gone();
    uint16_t length = 42;
    uint8_t buffer[8];
    EXPECT_EQ(ci_receive(buffer, 8, &length), LINK_NO_MODULE);
    EXPECT_EQ(length, 42);
    EXPECT_SCRIPT_DONE();
}
