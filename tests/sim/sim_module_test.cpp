// The simulated module's register model: strict about the access order, so that a wrong
// sequence in the link fails in simulation too.
#include <gtest/gtest.h>

#include "link/ci_link.h"
#include "link/registers.h"
#include "protocol/run_state.h"
#include "tests/support/sim_harness.h"

TEST(SimRegisters, EmptyReaderAndForeignBasesReadFloating) {
    harness_reset({.no_module = true});
    for (uint16_t port = 0x300; port < 0x304; ++port) EXPECT_EQ(sim_read(port), 0xFF);
    harness_reset();
    EXPECT_EQ(sim_read(0x321), 0xFF);
    EXPECT_EQ(sim_read(0x301) & STATUS_MASK, STATUS_FR); // power-on: free, no data
    EXPECT_EQ(sim_read(0x303), 0x00);
}

TEST(SimRegisters, DataWrittenWithoutHostControlIsAWriteError) {
    harness_reset();
    sim_write(0x300, 0x12);
    EXPECT_EQ(sim_read(0x301) & STATUS_WE, STATUS_WE);
    ASSERT_EQ(sim_record.protocol_errors.size(), 1u);
    EXPECT_EQ(sim_record.protocol_errors[0], "data byte written without HC");
}

TEST(SimRegisters, DataReadWithoutDataAvailableIsAReadError) {
    harness_reset();
    sim_read(0x300);
    EXPECT_EQ(sim_read(0x301) & STATUS_RE, STATUS_RE);
    EXPECT_EQ(sim_record.protocol_errors.size(), 1u);
}

TEST(SimRegisters, MessageMustMatchItsAnnouncedSize) {
    harness_reset();
    sim_write(0x301, COMMAND_HC);
    sim_write(0x302, 3);
    sim_write(0x303, 0);
    sim_write(0x300, 0x12);
    sim_write(0x301, 0x00); // two bytes short
    EXPECT_EQ(sim_record.protocol_errors.at(0), "message shorter than its announced size");

    harness_reset();
    sim_write(0x301, COMMAND_HC);
    sim_write(0x302, 1);
    sim_write(0x303, 0);
    sim_write(0x300, 0x12);
    sim_write(0x300, 0x13); // one too many
    EXPECT_EQ(sim_read(0x301) & STATUS_WE, STATUS_WE);
    EXPECT_EQ(sim_record.protocol_errors.at(0), "more data bytes than the announced size");
}

TEST(SimRegisters, HostControlTakenWhileBusyMustNotCarryData) {
    harness_reset({.free_never_from = 1});
    harness_detect(); // fails: FR never comes back, and the module is left busy
    sim_write(0x301, COMMAND_HC);
    sim_write(0x302, 1);
    sim_write(0x303, 0);
    sim_write(0x300, 0x12);
    EXPECT_EQ(sim_record.protocol_errors.back(), "data byte written while FR was clear");
}

TEST(SimRegisters, TheLinkNegotiatesWithoutAProtocolError) {
    for (uint16_t offered : {uint16_t{64}, uint16_t{256}, uint16_t{270}, uint16_t{1024}}) {
        harness_reset({.module_buffer = offered});
        harness_detect();
        const uint16_t expected = offered < 270 ? offered : 270;
        EXPECT_EQ(buffer_size, expected);
        EXPECT_EQ(sim_record.negotiated, expected);
        EXPECT_TRUE(sim_record.protocol_errors.empty()) << sim_record.protocol_errors.at(0);
    }
}

TEST(SimRegisters, EachBaseCanHoldTheReader) {
    for (uint16_t base : IO_BASES) {
        harness_reset({.base = base});
        harness_detect();
        EXPECT_EQ(module_link.io_base, base);
        EXPECT_EQ(module_link.present, 1);
    }
}

TEST(SimRegisters, LateInsertAppearsOnlyAfterTheFirstProbe) {
    harness_reset({.late_insert = true});
    EXPECT_EQ(ci_detect(270, &buffer_size, 0), LINK_NO_MODULE);
    EXPECT_EQ(ci_detect(270, &buffer_size, 0), LINK_OK);
    EXPECT_EQ(buffer_size, 256);
}

TEST(SimRegisters, SizeReplyLengthDecidesTheReset) {
    const struct {
        int length;
        LinkResult result;
    } cases[] = {{0, LINK_NO_MODULE}, {1, LINK_NO_MODULE}, {2, LINK_OK}, {3, LINK_OK}};
    for (const auto &c : cases) {
        harness_reset({.size_reply_len = c.length});
        EXPECT_EQ(ci_detect(270, &buffer_size, 0), c.result) << c.length << " bytes";
        if (c.result == LINK_OK) {
            EXPECT_EQ(sim_record.negotiated, 256);
        }
    }
}

TEST(SimRegisters, FreeNeverFailsTheResetAfterTenThousandAttempts) {
    harness_reset({.free_never_from = 1});
    EXPECT_EQ(ci_detect(270, &buffer_size, 0), LINK_NO_MODULE);
    EXPECT_EQ(sim_record.faults_injected, 1);
}
