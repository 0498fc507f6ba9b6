#include <gtest/gtest.h>

#include "link/ci_link.h"
#include "link/tick.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"
#include "tests/support/virtual_screen.h"

// Accesses as 0xPPPVV (W | PPP: a write); a read gets the value scripted there for its port.
using Trace = std::vector<int>;
constexpr int W = 0x1000;
static bool scripted;
static Trace script, made;
uint8_t port_read(uint16_t port) {
    sim_clock_bus_cycle();
    if (!scripted) return sim_read(port);
    const int want = made.size() < script.size() ? script[made.size()] : 0;
    made.push_back(port << 8 | (want >> 8 == port ? want & 0xFF : 0xFF));
    return uint8_t(made.back());
}
void port_write(uint16_t port, uint8_t value) {
    sim_clock_bus_cycle();
    if (!scripted) return sim_write(port, value);
    made.push_back((W | port) << 8 | value);
}

namespace {

std::string access(const Trace &t, size_t i) {
    char text[12] = "end";
    if (i < t.size())
        std::snprintf(text, 12, "%c %03x %02x", "RW"[t[i] >> 20], t[i] >> 8 & 0xFFF, t[i] & 255);
    return text;
}
using Bytes = std::vector<uint8_t>;
constexpr int DATA = 0x300, ST = 0x301, LS = 0x302, MS = 0x303;
constexpr int R(int port, int value) {
    return port << 8 | value;
}
Trace reg(int access, int value = 0x40) {
    return {R(ST, 0x40), access << 8 | value};
}
const Trace BUSY = reg(ST, 0);
Trace times(int n, const Trace &t) {
    Trace all;
    while (n-- > 0) all.insert(all.end(), t.begin(), t.end());
    return all;
}
Trace send(const Bytes &bytes, int shadow = 0, int last_status = 0x40) {
    Trace t = reg(ST) + reg(W | ST, shadow | 1) + reg(ST) + reg(W | LS, int(bytes.size() & 0xFF)) +
              reg(W | MS, int(bytes.size() >> 8));
    for (uint8_t b : bytes) t = t + reg(W | DATA, b);
    return t + reg(ST, last_status) + reg(W | ST, shadow);
}
Trace receive(const Bytes &bytes, int last_status = 0x40) {
    Trace t = reg(ST, 0x80) + reg(LS, int(bytes.size())) + reg(MS, 0);
    for (uint8_t b : bytes) t.push_back(R(DATA, b));
    return t + reg(ST, last_status);
}
Trace probe(int base, int ms, int st) {
    return {R(base + 2, 0), R(base + 3, ms), R(base + 1, st)};
}
// RS, SR on, size read (RE ignored), SR off, SW on, size write after `busy` refusals, SW off, FR.
Trace reset(const Bytes &offered, const Bytes &sent, int busy = 0, int we = 0, int waits = 0) {
    return reg(W | ST, 8) + reg(W | ST, 0) + reg(W | ST, 4) + receive(offered, 0x41) +
           reg(W | ST, 0) + reg(W | ST, 2) + times(busy, BUSY) + send(sent, 2, 0x40 | we) +
           reg(W | ST, 0) + times(waits, BUSY) + reg(ST);
}
const Bytes B258(258, 0xA5), REPLY = {0x12, 1, 2, 0x90, 0};

enum Op { SEND, RECEIVE, DETECT, RESET };
constexpr uint32_t START_MS = ~0u - 255;
constexpr int ON = 0x10, SR = 4;
struct LinkCase {
    const char *name;
    Op op;
    uint16_t arg;
    Trace trace;
    int result, out;
    uint32_t ticks;
    int before = ON, after = ON;
};
void PrintTo(const LinkCase &c, std::ostream *os) {
    *os << c.name;
}

const LinkCase CASES[] = {
    {"send_258_bytes_WE", SEND, 258, send(B258, 0, 0x42), LINK_TRANSFER_ERROR, 0, 0},
    {"send_while_absent", SEND, 1, {}, LINK_NO_MODULE, 0, 0, 0, 0},
    {"busy_present_unless_all_FF",
     SEND,
     1,
     {R(ST, 0xFF), R(LS, 0xFF), R(MS, 0), R(ST, 0x80)},
     LINK_BUSY,
     0,
     0,
     ON | SR,
     ON | SR},
    {"reply_filling_buffer_WE", RECEIVE, 5, receive(REPLY, 0x42), LINK_OK, 5, 0},
    {"reply_over_buffer", RECEIVE, 4, receive(REPLY), LINK_TRANSFER_ERROR, 4, 0},
    {"gone", RECEIVE, 4, {R(ST, 0xFF), R(LS, 0xFF), R(MS, 0xFF)}, LINK_NO_MODULE, 0, 0, ON, 0},
    {"probe_wants_FR_MS_and_7_0", DETECT, 270,
     probe(0x300, 0, 0x80) + probe(0x320, 4, 0x40) + probe(0x340, 0xFF, 0xFF) +
         probe(0x360, 7, 0x40) + probe(0x380, 8, 0x7F) +
         Trace{R(0x381, 0xFF), R(0x382, 0xFF), R(0x383, 0xFF)},
     LINK_NO_MODULE, 0, 0, 0, 8},
    {"size_capped", DETECT, 270, probe(0x300, 0, 0x40) + reset({2, 0}, {1, 0x0E}), LINK_OK, 270, 3,
     0},
    {"size_reply_of_3_bytes_busy_WE", RESET, 270, reset({0, 64, 9}, {0, 64}, 1, 2), LINK_OK, 64, 4},
    {"free_at_10000th_attempt", RESET, 270, reset({0, 128}, {0, 128}, 0, 0, 9999),
     LINK_RESET_FAILED, 128, 10002},
};

class Link : public testing::TestWithParam<LinkCase> {};

TEST_P(Link, MakesTheWholeRegisterSequence) {
    const LinkCase &c = GetParam();
    module_link = {uint8_t(c.before & 0xF), 0, 0, 0, 0x300, uint8_t(c.before / ON)};
    sim_clock_set_ms(START_MS);
    scripted = true;
    script = c.trace;
    made.clear();
    Bytes buffer(16, 0xEE);
    uint16_t out = 0;
    const int result = c.op == SEND      ? ci_send(B258.data(), c.arg)
                       : c.op == RECEIVE ? ci_receive(buffer.data(), c.arg, &out)
                       : c.op == RESET   ? ci_reset(c.arg, &out)
                                         : ci_detect(c.arg, &out, 0);
    scripted = false;
    size_t i = 0;
    while (i < made.size() && i < c.trace.size() && made[i] == c.trace[i]) ++i;
    EXPECT_EQ(access(made, i), access(c.trace, i)) << "access " << i;
    EXPECT_EQ(std::tuple(result, int(out), tick_count() - START_MS,
                         module_link.command_shadow | module_link.present * ON),
              std::tuple(c.result, c.out, c.ticks, c.after));
    if (c.op == RECEIVE) {
        EXPECT_EQ(buffer, Bytes(REPLY.begin(), REPLY.begin() + c.out) + Bytes(16 - c.out, 0xEE));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Link, testing::ValuesIn(CASES), testing::PrintToStringParamName());

} // namespace
