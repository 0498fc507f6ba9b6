// The simulated module: its options as they land in its configuration (refusals are checked on
// the command line), and its checks, the oracle of the other tests: it flags each row's fault.
#include <gtest/gtest.h>

#include <functional>

#include "link/ci_link.h"
#include "link/registers.h"
#include "protocol/frame.h"
#include "protocol/run_state.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"
#include "sim/sim_options.h"
#include "tests/support/test_images.h"
#include "tests/support/virtual_screen.h"

namespace {

void writes(std::initializer_list<std::pair<uint16_t, uint8_t>> steps) {
    for (const auto &[port, value] : steps) sim_write(port, value);
}
void identify(uint8_t mode = 1) {
    ci_detect(STARTUP_MAX_BUFFER, &buffer_size, 0);
    uint8_t frame[300];
    uint16_t length = frame_build(frame, mode, INS_IDENTIFY, 0, 0, nullptr, 0);
    frame_exchange(frame, sizeof frame, &length);
}
// Block 1 or 2 of a page: first-block flag, n data bytes, mode; `flip` spoils a byte of the frame.
void block(int page, int number, uint8_t p2, uint16_t n = 247, uint8_t mode = 1, int flip = -1) {
    uint8_t frame[300];
    const uint8_t *data = test_image_bytes[page].data() + (number - 1) * 247;
    uint16_t length = frame_build(frame, mode, INS_WRITE_BLOCK, uint8_t(page), p2, data, n);
    if (flip >= 0) frame[flip] ^= 1;
    frame_exchange(frame, sizeof frame, &length);
}

struct OracleCase { // status: the status bits (masked) after the row, -1 unchecked
    const char *name;
    SimConfig config;
    std::function<void()> act;
    std::vector<std::string> errors;
    int status = -1, frames_after_error = 0;
};

// clang-format off
const OracleCase CASES[] = {
    {"data without HC", {}, [] { writes({{0x300, 1}}); }, {"data byte written without HC"}, 0x42},
    {"data read without DA", {}, [] { sim_read(0x300); }, {"data register read without DA"}, 0x41},
    {"size without HC", {}, [] { writes({{0x302, 1}}); }, {"size register written without HC"}},
    {"size MS first", {}, [] { writes({{0x301, 1}, {0x303, 0}}); }, {"size MS written before size LS"}},
    {"short message", {}, [] { writes({{0x301, 1}, {0x302, 3}, {0x303, 0}, {0x300, 1}, {0x301, 0}}); }, {"message shorter than its announced size"}},
    {"long message", {}, [] { writes({{0x301, 1}, {0x302, 1}, {0x303, 0}, {0x300, 1}, {0x300, 2}}); }, {"more data bytes than the announced size"}, 0x42},
    {"data while not free", {.free_never_from = 1}, [] { ci_detect(270, &buffer_size, 0), writes({{0x301, 1}, {0x302, 1}, {0x303, 0}, {0x300, 1}}); }, {"data byte written while FR was clear"}},
    {"size read before a reset", {}, [] { writes({{0x301, 4}}); }, {"size read asked for without a finished reset"}},
    {"size write with SR set", {}, [] { writes({{0x301, 8}, {0x301, 0}, {0x301, 4}, {0x301, 6}}); }, {"size write begun with SR still set"}},
    {"size above the offer", {.module_buffer = 64}, [] { ci_detect(270, &buffer_size, 0), writes({{0x301, 2}, {0x301, 3}, {0x302, 2}, {0x303, 0}, {0x300, 0}, {0x300, 65}, {0x301, 2}}); }, {"negotiated size above the module's offer"}},
    {"identification request", {}, [] { identify(0); }, {"identification request not as expected"}},
    {"first block without its flag", {}, [] { identify(), block(0, 1, 0); }, {"first-block flag wrong on block 1"}},
    {"length byte", {}, [] { identify(), block(0, 1, 1, 247, 1, FRAME_POS_LENGTH); }, {"frame length byte does not match its size"}},
    {"check byte", {}, [] { identify(), block(0, 1, 1, 247, 1, 20); }, {"frame check byte wrong"}},
    {"long frame", {}, [] { identify(), block(0, 1, 1, 248); }, {"block frame of 257 bytes, negotiated 256"}},
    {"frames of two lengths", {}, [] { identify(), block(0, 1, 1, 246), block(0, 2, 0); }, {"block frame of 256 bytes, the first of 255"}},
    {"page 1 first", {}, [] { identify(), block(1, 1, 1); }, {"block frame for page 1, expected page 0"}},
    {"mode changed", {}, [] { identify(), block(0, 1, 1), block(0, 2, 0, 247, 0); }, {"frame mode changed during the update"}},
    {"frame after an error", {.events = {{SIM_REPLY_SW, 0, 1, 0x6700}}}, [] { identify(), block(0, 1, 1), block(0, 2, 0); }, {}, -1, 1},
};
// clang-format on

class Oracle : public testing::TestWithParam<OracleCase> {};

TEST_P(Oracle, FlagsTheFault) {
    const OracleCase &c = GetParam();
    SCOPED_TRACE(c.name);
    module_link = ModuleLink{};
    sim_clock_set_ms(0);
    sim_config = c.config;
    sim_reset();
    c.act();
    EXPECT_EQ(sim_record.protocol_errors, c.errors);
    EXPECT_TRUE(c.status < 0 || (sim_read(0x301) & STATUS_MASK) == c.status);
    EXPECT_EQ(sim_record.frames_after_error, c.frames_after_error);
}

INSTANTIATE_TEST_SUITE_P(Rows, Oracle, testing::ValuesIn(CASES));

TEST(SimOptions, ValuesLandInTheModuleConfiguration) {
    const char *args[] = {"ciflash-sim", "--base",    "0x380",       "--module-buffer", "128",
                          "--fast",      "--bios",    "1.05",        "--asic",          "255",
                          "--reply",     "1:17:6581", "--reply-len", "0:3:65535",       "--hang",
                          "1:484",       "--seed",    "7",           "--trace",         "t.txt"};
    sim_config = SimConfig{};
    SimOptions options;
    std::string error;
    ASSERT_TRUE(sim_parse_options(int(std::size(args)), args, &options, &error)) << error;
    const SimConfig &c = sim_config;
    EXPECT_EQ(std::tuple(c.base, c.module_buffer, c.bios, c.asic, c.seed, options.fast,
                         options.trace_file),
              std::tuple(0x380, 128, "1.05", 255, 7u, true, "t.txt"));
    ASSERT_EQ(c.events.size(), 3u);
    EXPECT_EQ(std::tuple(c.events[0].kind, c.events[0].page, c.events[0].block, c.events[0].value),
              std::tuple(SIM_REPLY_SW, 1, 17, 0x6581u));
    EXPECT_EQ(std::tuple(c.events[1].value, c.events[2].kind), std::tuple(65535u, SIM_HANG));
}

} // namespace
