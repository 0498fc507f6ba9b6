#include <gtest/gtest.h>

#include "sim/sim_clock.h"
#include "tests/link/link_script.h"

void link_test_reset(uint8_t present) {
    script_reset();
    module_link = ModuleLink{};
    module_link.io_base = BASE;
    module_link.present = present;
    sim_clock_virtual = true;
    sim_clock_set_ms(0);
}

TEST(PresenceCheck, AnyOfTheThreeRegistersNotFloatingMeansPresent) {
    for (int answering = 0; answering < 3; ++answering) {
        link_test_reset();
        const uint16_t order[] = {STATUS, SIZE_LS, SIZE_MS};
        for (int i = 0; i < answering; ++i) script_read(order[i], 0xFF);
        script_read(order[answering], 0x00);
        script_read(DATA, 0x5A);
        uint8_t value = 0;
        EXPECT_EQ(ci_read_reg(DATA, &value), LINK_OK);
        EXPECT_EQ(value, 0x5A);
        EXPECT_EQ(module_link.present, 1);
        EXPECT_SCRIPT_DONE();
    }
}

TEST(PresenceCheck, AllThreeFloatingMeansGoneAndNothingIsAccessed) {
    link_test_reset();
    gone();
    uint8_t value = 0x77;
    EXPECT_EQ(ci_read_reg(SIZE_LS, &value), LINK_NO_MODULE);
    EXPECT_EQ(value, 0x77);
    EXPECT_EQ(module_link.present, 0);
    gone();
    EXPECT_EQ(ci_write_reg(DATA, 0x12), LINK_NO_MODULE);
    EXPECT_SCRIPT_DONE();
}

TEST(PresenceCheck, ReadsTheRegistersAtIoBaseWhateverPortIsAccessed) {
    link_test_reset();
    module_link.io_base = 0x360;
    script_read(0x361, 0x40);
    script_write(0x322, 0x01);
    EXPECT_EQ(ci_write_reg(0x322, 0x01), LINK_OK);
    EXPECT_SCRIPT_DONE();
}
