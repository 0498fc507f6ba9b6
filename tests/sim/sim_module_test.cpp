#include <gtest/gtest.h>

#include "link/ci_link.h"
#include "protocol/frame.h"
#include "protocol/identify.h"
#include "protocol/run_state.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"
#include "sim/sim_options.h"
#include "sim/sim_port.h"
#include "tests/support/virtual_screen.h"

namespace {

void writes(std::initializer_list<int> steps) { // 0xRVV: VV to register R
    for (int step : steps) sim_write(uint16_t(0x300 + (step >> 8)), uint8_t(step));
}
void block(int page, int p2 = 1, int n = 247, int flip = 0) {
    uint8_t f[300] = {}, data[250] = {};
    uint16_t length =
        frame_build(f, 1, INS_WRITE_BLOCK, uint8_t(page), uint8_t(p2), data, uint16_t(n));
    f[flip] ^= flip ? 1 : 0;
    frame_exchange(f, sizeof f, &length);
}

std::string flagged(const SimConfig &config, void (*act)()) {
    vscreen_reset();
    module_link = ModuleLink{};
    sim_clock_set_ms(0);
    sim_config = config;
    sim_reset();
    std::FILE *trace = std::tmpfile();
    sim_port_trace_to(trace);
    act();
    sim_port_trace_to(nullptr);
    std::rewind(trace);
    std::string traced, record;
    for (char line[300]; std::fgets(line, sizeof line, trace);) traced += *line == '!' ? line : "";
    std::fclose(trace);
    for (const std::string &e : sim_record.protocol_errors) record += "! " + e + "\n";
    EXPECT_EQ(traced, record);
    return traced;
}

TEST(SimModule, FlagsWrongAccesses) {
    EXPECT_EQ(flagged({.free_never_from = 1},
                      [] {
                          ci_detect(270, &buffer_size, 0);
                          writes({0x104, 0x106, 0x101, 0x201, 0x300, 1});
                      }),
              "! size write begun with SR still set\n! data byte written while FR was clear\n");
    EXPECT_EQ(flagged({.module_buffer = 64},
                      [] {
                          ci_detect(270, &buffer_size, 0);
                          writes({0x102, 0x103, 0x202, 0x300, 0, 65, 0x102});
                      }),
              "! negotiated size above the module's offer\n");
}

TEST(SimModule, FlagsWrongFrames) {
    EXPECT_EQ(
        flagged({},
                [] {
                    ci_detect(270, &buffer_size, 0), module_identify(), block(0, 1, 247, 20);
                    block(0, 1, 247, FRAME_POS_LENGTH), block(1), block(0, 0), block(0, 1, 248);
                    block(0, 1, 246);
                }),
        "! frame check byte wrong\n! frame length byte does not match its size\n"
        "! block frame for page 1, expected page 0\n! first-block flag wrong on block 1\n"
        "! block frame of 257 bytes, negotiated 256\n! block frame of 255 bytes, expected 256\n");
    EXPECT_EQ(sim_record.frames_after_error, 4);
}

TEST(SimOptions, SetTheirOwnFields) {
    const char *argv[] = {
        "",  "--erase-ms", "5", "--block-ms", "7", "--free-never", "--page-number",
        "9", "--asic",     "8"};
    std::string error;
    ASSERT_TRUE(sim_parse_options(10, argv, &error)) << error;
    const SimConfig &c = sim_config;
    EXPECT_EQ(std::tuple(c.erase_ms, c.block_ms, c.free_never_from, *c.page_number, *c.asic),
              std::tuple(5u, 7u, 1, 9, 8));
    sim_config = {};
}

} // namespace
