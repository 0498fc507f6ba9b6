// The simulated module, the oracle of the other tests, flags each row's wrong access or frame in
// its record and its trace.
#include <gtest/gtest.h>

#include <functional>

#include "link/ci_link.h"
#include "protocol/frame.h"
#include "protocol/run_state.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"
#include "sim/sim_port.h"
#include "tests/support/test_images.h"

namespace {

void writes(std::initializer_list<std::pair<int, int>> steps) { // register offset, value
    for (const auto &[offset, value] : steps) sim_write(uint16_t(0x300 + offset), uint8_t(value));
}
// The identification request (page -1), or block 1 (p2 1) or 2 (p2 0) of a page with n data
// bytes, `flip` spoiling a byte of the frame.
void frame(int page, int p2 = 1, int n = 247, int flip = 0) {
    const uint8_t ins = page < 0 ? INS_IDENTIFY : INS_WRITE_BLOCK;
    if (page < 0) ci_detect(STARTUP_MAX_BUFFER, &buffer_size, 0), page = p2 = n = 0;
    uint8_t f[300];
    const uint8_t *data = test_image_bytes[page].data() + (p2 ? 0 : 247);
    uint16_t length = frame_build(f, 1, ins, uint8_t(page), uint8_t(p2), data, uint16_t(n));
    f[flip] ^= flip ? 1 : 0;
    frame_exchange(f, sizeof f, &length);
}

struct OracleCase {
    const char *name;
    SimConfig config;
    std::function<void()> act;
    std::vector<const char *> errors; // a part of each protocol error flagged, in order
    int frames_after_error;
};
void PrintTo(const OracleCase &c, std::ostream *os) {
    *os << c.name;
}

const OracleCase CASES[] = {
    {"data_without_HC_SW_with_SR",
     {},
     [] {
         writes({{0, 1}, {1, 8}, {1, 0}, {1, 4}, {1, 6}});
     },
     {"data byte written without HC", "SR still set"},
     0},
    {"data_while_not_free",
     {.free_never_from = 1},
     [] {
         ci_detect(270, &buffer_size, 0), writes({{1, 1}, {2, 1}, {3, 0}, {0, 1}});
     },
     {"while FR was clear"},
     0},
    {"size_above_the_offer",
     {.module_buffer = 64},
     [] {
         ci_detect(270, &buffer_size, 0);
         writes({{1, 2}, {1, 3}, {2, 2}, {3, 0}, {0, 0}, {0, 65}, {1, 2}});
     },
     {"above the module's offer"},
     0},
    {"frames",
     {},
     [] {
         frame(-1), frame(0, 1, 247, 20), frame(0, 1, 247, FRAME_POS_LENGTH), frame(1), frame(0, 0);
         frame(0, 1, 248), frame(0, 1, 246);
     },
     {"check byte wrong", "length byte", "for page 1, expected page 0", "flag wrong on block 1",
      "frame of 257 bytes, negotiated 256", "frame of 255 bytes, expected 256"},
     4},
    {"frame_after_an_error",
     {.events = {{SIM_REPLY_SW, 0, 1, 0x6700}}},
     [] { frame(-1), frame(0), frame(0, 0); },
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
    const std::vector<std::string> &record = sim_record.protocol_errors;
    size_t n = 0; // the trace's error lines: the record's errors in turn
    for (char line[300]; std::fgets(line, sizeof line, trace);)
        if (*line == '!') {
            EXPECT_EQ(line, "! " + record.at(n++) + "\n");
        }
    std::fclose(trace);
    ASSERT_EQ(n, c.errors.size()) << testing::PrintToString(record);
    ASSERT_EQ(n, record.size());
    for (size_t i = 0; i < n; ++i)
        EXPECT_NE(record[i].find(c.errors[i]), std::string::npos) << record[i];
    EXPECT_EQ(sim_record.frames_after_error, c.frames_after_error);
}

INSTANTIATE_TEST_SUITE_P(Rows, Oracle, testing::ValuesIn(CASES), testing::PrintToStringParamName());

} // namespace
