#include <gtest/gtest.h>

#include "link/registers.h"
#include "link/tick.h"
#include "sim/sim_clock.h"
#include "tests/link/link_script.h"

// The probe's three plain reads of one base.
static void probe(uint16_t base, uint8_t size_ms, uint8_t status) {
    script_read(static_cast<uint16_t>(base + 2), 0x00);
    script_read(static_cast<uint16_t>(base + 3), size_ms);
    script_read(static_cast<uint16_t>(base + 1), status);
}

// The steps of a reset at BASE: RS set and cleared, SR set (the size read follows) ...
static void reset_commands() {
    reg_write(STATUS, 0x08);
    reg_write(STATUS, 0x00);
    reg_write(STATUS, 0x04);
}

// ... SR cleared, SW set, the size sent, SW cleared (the free wait follows).
static void size_write(const std::vector<uint8_t> &sent, uint8_t final_status = 0x40) {
    reg_write(STATUS, 0x00);
    reg_write(STATUS, 0x02);
    send_ok(sent, 0x02, final_status);
    reg_write(STATUS, 0x00);
}

// A whole reset in which the module offers `offered` (two bytes) and is sent `sent`.
static void reset_ok(uint16_t offered, const std::vector<uint8_t> &sent) {
    reset_commands();
    receive({static_cast<uint8_t>(offered >> 8), static_cast<uint8_t>(offered)});
    size_write(sent);
    reg_read(STATUS, 0x40);
}

TEST(Detect, EmptyReaderProbesAllFiveBasesAndKeepsTheOldBase) {
    link_test_reset(0);
    module_link.io_base = 0x340;
    for (uint16_t base : IO_BASES) probe(base, 0xFF, 0xFF);
    uint16_t size = 7;
    EXPECT_EQ(ci_detect(270, &size, 0), LINK_NO_MODULE);
    EXPECT_EQ(module_link.present, 0);
    EXPECT_EQ(module_link.io_base, 0x340);
    EXPECT_EQ(size, 7);
    EXPECT_SCRIPT_DONE();
}

TEST(Detect, OnlyTheLowThreeBitsOfSizeMsAndFrDecide) {
    link_test_reset(0);
    probe(0x300, 0x00, 0x80); // FR clear: passed over
    probe(0x320, 0x01, 0x40); // low bits set: passed over
    script_read(0x342, 0x00);
    script_read(0x343, 0x08);
    script_read(0x341, 0x7F); // FR and everything else set but bit 7
    // The reset then runs at 0x340; its first write is enough to see the base was taken.
    script_read(0x341, 0x40);
    script_write(0x341, 0x08);
    script_read(0x341, 0xFF);
    script_read(0x342, 0xFF);
    script_read(0x343, 0xFF);
    uint16_t size = 0;
    EXPECT_EQ(ci_detect(270, &size, 0), LINK_NO_MODULE);
    EXPECT_EQ(module_link.io_base, 0x340);
    EXPECT_EQ(module_link.present, 0);
    EXPECT_SCRIPT_DONE(); // no further base probed after the failed reset
}

TEST(Detect, KnownBaseResetsWithoutProbing) {
    link_test_reset(0);
    reset_ok(100, {0x00, 100});
    uint16_t size = 0;
    EXPECT_EQ(ci_detect(128, &size, 1), LINK_OK);
    EXPECT_EQ(size, 100);
    EXPECT_EQ(module_link.present, 1);
    EXPECT_SCRIPT_DONE();
}

TEST(Detect, KnownBaseNeverFoundTouchesNoPort) {
    link_test_reset(0);
    module_link.io_base = 0;
    uint16_t size = 5;
    EXPECT_EQ(ci_detect(128, &size, 1), LINK_NO_MODULE);
    EXPECT_EQ(size, 5);
    EXPECT_SCRIPT_DONE();
}

TEST(Reset, SizeAboveTheHostMaximumIsCappedAndSentMostSignificantFirst) {
    link_test_reset();
    reset_ok(512, {0x01, 0x0E});
    uint16_t size = 0;
    EXPECT_EQ(ci_reset(270, &size), LINK_OK);
    EXPECT_EQ(size, 270);
    EXPECT_EQ(module_link.command_shadow, 0);
    EXPECT_SCRIPT_DONE();
}

TEST(Reset, SizeAtOrBelowTheMaximumIsSentBackAsTheModuleGaveIt) {
    for (uint16_t offered : {uint16_t{100}, uint16_t{270}}) {
        link_test_reset();
        reset_ok(offered, {static_cast<uint8_t>(offered >> 8), static_cast<uint8_t>(offered)});
        uint16_t size = 0;
        EXPECT_EQ(ci_reset(270, &size), LINK_OK);
        EXPECT_EQ(size, offered);
        EXPECT_SCRIPT_DONE();
    }
}

TEST(Reset, SizeWriteTransferErrorStillClearsSwAndWaitsForFree) {
    link_test_reset();
    reset_commands();
    receive({0x00, 0x80});
    size_write({0x00, 0x80}, 0x42);
    reg_read(STATUS, 0x40);
    uint16_t size = 0;
    EXPECT_EQ(ci_reset(270, &size), LINK_OK);
    EXPECT_SCRIPT_DONE();
}

// The free wait with FR first set on attempt `first_free`.
static LinkResult reset_with_free_on(int first_free, uint32_t *ticks) {
    link_test_reset();
    reset_commands();
    receive({0x00, 0x80});
    size_write({0x00, 0x80});
    for (int attempt = 1; attempt <= first_free && attempt <= RESET_ATTEMPTS; ++attempt)
        reg_read(STATUS, attempt == first_free ? 0x40 : 0x00);
    const uint32_t start = tick_count();
    uint16_t size = 0;
    const LinkResult result = ci_reset(270, &size);
    *ticks = tick_count() - start;
    return result;
}

TEST(Reset, FreeWaitSucceedsUpToThe9999thAttemptOnly) {
    uint32_t ticks = 0;
    EXPECT_EQ(reset_with_free_on(9999, &ticks), LINK_OK);
    EXPECT_SCRIPT_DONE();
    EXPECT_EQ(ticks, 2u + 9999u); // one tick after every attempt of all three loops
    EXPECT_EQ(reset_with_free_on(10000, &ticks), LINK_RESET_FAILED);
    EXPECT_SCRIPT_DONE();
    EXPECT_EQ(ticks, 2u + 10000u);
}

TEST(Reset, SizeReadRetriesWhileNoDataAndFailsWhenTheModuleGoes) {
    link_test_reset();
    reset_commands();
    reg_read(STATUS, 0x00);
    reg_read(STATUS, 0x00);
    gone();
    uint16_t size = 33;
    EXPECT_EQ(ci_reset(270, &size), LINK_RESET_FAILED);
    EXPECT_EQ(size, 33);                         // failed before the size was known
    EXPECT_EQ(module_link.command_shadow, 0x04); // SR stays set for the next command write
    EXPECT_SCRIPT_DONE();
}

TEST(Reset, SizeReplyShorterThanTwoBytesFailsTheReset) {
    link_test_reset();
    reset_commands();
    receive({0x01});
    uint16_t size = 33;
    EXPECT_EQ(ci_reset(270, &size), LINK_RESET_FAILED);
    EXPECT_EQ(size, 33);
    EXPECT_SCRIPT_DONE();
}

TEST(Reset, SizeReplyLongerThanTwoBytesUsesTheFirstTwo) {
    link_test_reset();
    reset_commands();
    receive({0x00, 0x40, 0x99});
    size_write({0x00, 0x40});
    reg_read(STATUS, 0x40);
    uint16_t size = 0;
    EXPECT_EQ(ci_reset(270, &size), LINK_OK);
    EXPECT_EQ(size, 64);
    EXPECT_SCRIPT_DONE();
}
