// The simulated module, the oracle of the other tests: it flags each row's wrong access or frame
// in its record and in its trace.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "link/ci_link.h"
#include "protocol/frame.h"
#include "protocol/run_state.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"
#include "sim/sim_port.h"
#include "tests/support/test_images.h"

namespace {

void writes(std::initializer_list<std::pair<uint16_t, uint8_t>> steps) {
    for (const auto &[port, value] : steps) sim_write(port, value);
}
void exchange(uint8_t mode, uint8_t ins, int page, uint8_t p2, uint16_t n, int flip = -1) {
    uint8_t frame[300];
    const uint8_t *data = test_image_bytes[page].data() + (p2 ? 0 : 247);
    uint16_t length = frame_build(frame, mode, ins, uint8_t(page), p2, data, n);
    if (flip >= 0) frame[flip] ^= 1;
    frame_exchange(frame, sizeof frame, &length);
}
void identify(uint8_t mode = 1) {
    ci_detect(STARTUP_MAX_BUFFER, &buffer_size, 0);
    exchange(mode, INS_IDENTIFY, 0, 0, 0);
}
// Block 1 (p2 1) or 2 (p2 0) of a page, of n data bytes in frame mode 1 unless given.
void block(int page, uint8_t p2, uint16_t n = 247, uint8_t mode = 1, int flip = -1) {
    exchange(mode, INS_WRITE_BLOCK, page, p2, n, flip);
}

struct OracleCase {
    const char *name;
    SimConfig config;
    std::function<void()> act;
    std::vector<std::string> errors;
    int frames_after_error = 0;
};
void PrintTo(const OracleCase &c, std::ostream *os) {
    *os << c.name;
}

const OracleCase CASES[] = {
    {"data_without_HC",
     {},
     [] {
         writes({{0x300, 1}});
     },
     {"data byte written without HC"}},
    {"data_read_without_DA", {}, [] { sim_read(0x300); }, {"data register read without DA"}},
    {"size_without_HC",
     {},
     [] {
         writes({{0x302, 1}});
     },
     {"size register written without HC"}},
    {"size_MS_first",
     {},
     [] {
         writes({{0x301, 1}, {0x303, 0}});
     },
     {"size MS written before size LS"}},
    {"short_message",
     {},
     [] {
         writes({{0x301, 1}, {0x302, 3}, {0x303, 0}, {0x300, 1}, {0x301, 0}});
     },
     {"message shorter than its announced size"}},
    {"long_message",
     {},
     [] {
         writes({{0x301, 1}, {0x302, 1}, {0x303, 0}, {0x300, 1}, {0x300, 2}});
     },
     {"more data bytes than the announced size"}},
    {"data_while_not_free",
     {.free_never_from = 1},
     [] {
         ci_detect(270, &buffer_size, 0), writes({{0x301, 1}, {0x302, 1}, {0x303, 0}, {0x300, 1}});
     },
     {"data byte written while FR was clear"}},
    {"size_read_before_a_reset",
     {},
     [] {
         writes({{0x301, 4}});
     },
     {"size read asked for without a finished reset"}},
    {"size_write_with_SR_set",
     {},
     [] {
         writes({{0x301, 8}, {0x301, 0}, {0x301, 4}, {0x301, 6}});
     },
     {"size write begun with SR still set"}},
    {"size_above_the_offer",
     {.module_buffer = 64},
     [] {
         ci_detect(270, &buffer_size, 0), writes({{0x301, 2}, {0x301, 3}, {0x302, 2}, {0x303, 0}});
         writes({{0x300, 0}, {0x300, 65}, {0x301, 2}});
     },
     {"negotiated size above the module's offer"}},
    {"identification_request", {}, [] { identify(0); }, {"identification request not as expected"}},
    {"first_block_without_its_flag",
     {},
     [] { identify(), block(0, 0); },
     {"first-block flag wrong on block 1"}},
    {"length_byte",
     {},
     [] { identify(), block(0, 1, 247, 1, FRAME_POS_LENGTH); },
     {"frame length byte does not match its size"}},
    {"check_byte", {}, [] { identify(), block(0, 1, 247, 1, 20); }, {"frame check byte wrong"}},
    {"long_frame",
     {},
     [] { identify(), block(0, 1, 248); },
     {"block frame of 257 bytes, negotiated 256"}},
    {"short_frame",
     {},
     [] { identify(), block(0, 1, 246); },
     {"block frame of 255 bytes, expected 256"}},
    {"page_1_first",
     {},
     [] { identify(), block(1, 1); },
     {"block frame for page 1, expected page 0"}},
    {"mode_changed",
     {},
     [] { identify(), block(0, 1), block(0, 0, 247, 0); },
     {"frame mode changed during the update"}},
    {"frame_after_an_error",
     {.events = {{SIM_REPLY_SW, 0, 1, 0x6700}}},
     [] { identify(), block(0, 1), block(0, 0); },
     {},
     1},
};

class Oracle : public testing::TestWithParam<OracleCase> {};

TEST_P(Oracle, FlagsTheFault) {
    const OracleCase &c = GetParam();
    module_link = ModuleLink{};
    sim_clock_set_ms(0);
    sim_config = c.config;
    sim_reset();
    std::FILE *trace = std::tmpfile();
    sim_port_trace_to(trace);
    c.act();
    sim_port_trace_to(nullptr);
    std::rewind(trace);
    std::vector<std::string> traced; // the trace's protocol error lines
    for (char line[300]; std::fgets(line, sizeof line, trace);)
        if (*line == '!') traced.emplace_back(line + 2, std::strlen(line) - 3);
    std::fclose(trace);
    EXPECT_EQ(sim_record.protocol_errors, c.errors);
    EXPECT_EQ(traced, c.errors);
    EXPECT_EQ(sim_record.frames_after_error, c.frames_after_error);
}

INSTANTIATE_TEST_SUITE_P(Rows, Oracle, testing::ValuesIn(CASES), testing::PrintToStringParamName());

} // namespace
