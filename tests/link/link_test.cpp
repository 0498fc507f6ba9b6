// The link against scripted registers: one row per operation, whose whole register sequence is
// compared with the one the link makes, with its result, output, waits and the state it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "link/ci_link.h"
#include "link/port.h"
#include "link/tick.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"
#include "tests/support/virtual_screen.h"

// The port seam: the simulated module or, while scripted, steps "R 301 40" / "W 301 01" recorded in
// port_made; a read gets the value of port_script's step at its position if that reads its port.
using Trace = std::vector<std::string>;
static bool port_scripted;
static Trace port_script, port_made;
static std::string step(char direction, int port, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%c %03x %02x", direction, port, value);
    return text;
}
uint8_t port_read(uint16_t port) {
    sim_clock_bus_cycle();
    if (!port_scripted) return sim_read(port);
    const size_t at = port_made.size();
    const bool ours =
        at < port_script.size() && port_script[at].compare(0, 6, step('R', port, 0), 0, 6) == 0;
    const auto value =
        ours ? uint8_t(std::strtoul(port_script[at].c_str() + 6, nullptr, 16)) : uint8_t{0xFF};
    port_made.push_back(step('R', port, value));
    return value;
}
void port_write(uint16_t port, uint8_t value) {
    sim_clock_bus_cycle();
    if (!port_scripted) return sim_write(port, value);
    port_made.push_back(step('W', port, value));
}

namespace {

Trace times(int n, const Trace &t) {
    Trace all;
    while (n-- > 0) all.insert(all.end(), t.begin(), t.end());
    return all;
}
using Bytes = std::vector<uint8_t>;
const auto R = [](int port, int value) { return Trace{step('R', port, value)}; };
const auto W = [](int port, int value) { return Trace{step('W', port, value)}; };
constexpr int DATA = 0x300, ST = 0x301, LS = 0x302, MS = 0x303;
// ci_read_reg and ci_write_reg on a present module: the presence check reads the status first.
const auto rreg = [](int port, int value) { return R(ST, 0x40) + R(port, value); };
const auto wreg = [](int port, int value) { return R(ST, 0x40) + W(port, value); };
const Trace GONE = R(ST, 0xFF) + R(LS, 0xFF) + R(MS, 0xFF);
Trace send(const Bytes &bytes, int shadow = 0, int last_status = 0x40) {
    Trace t = rreg(ST, 0x40) + wreg(ST, shadow | 1) + rreg(ST, 0x40) +
              wreg(LS, int(bytes.size() & 0xFF)) + wreg(MS, int(bytes.size() >> 8));
    for (uint8_t b : bytes) t = t + wreg(DATA, b);
    return t + rreg(ST, last_status) + wreg(ST, shadow);
}
Trace receive(const Bytes &bytes, int last_status = 0x40) {
    Trace t =
        rreg(ST, 0x80) + rreg(LS, int(bytes.size() & 0xFF)) + rreg(MS, int(bytes.size() >> 8));
    for (uint8_t b : bytes) t = t + R(DATA, b);
    return t + rreg(ST, last_status);
}
const auto probe = [](int base, int ms, int st) {
    return R(base + 2, 0) + R(base + 3, ms) + R(base + 1, st);
};
// A reset: RS set and cleared, SR set, the size read, SR cleared, SW set, the size write, SW
// cleared, the free wait.
const Trace START = wreg(ST, 8) + wreg(ST, 0) + wreg(ST, 4), SW_ON = wreg(ST, 0) + wreg(ST, 2);
const Trace SW_OFF = wreg(ST, 0), NOT_READY = rreg(ST, 0), FREE = rreg(ST, 0x40);
const Bytes S128 = {0x00, 0x80}, B258(258, 0xA5);
const Trace NEGOTIATE_128 = START + receive(S128) + SW_ON + send(S128, 2) + SW_OFF;
const auto reset = [](Bytes offered, Bytes sent) {
    return START + receive(offered) + SW_ON + send(sent, 2) + SW_OFF + FREE;
};

enum Op { READ_REG, SEND, RECEIVE, DETECT, DETECT_KNOWN, RESET };
constexpr int NONE = 0x5555;                 // an output the operation did not write
constexpr uint32_t CLOCK_START = 0xFFFFFF00; // the rows of 10000 attempts wait across the wrap
struct State {
    int shadow, present, base;
};
constexpr State ON{0, 1, 0x300}, OFF{0, 0, 0x300};
struct LinkCase {
    const char *name;
    Op op;
    int arg; // port, buffer capacity or host maximum
    Trace trace;
    int result, out; // out: value read, length received or size negotiated
    uint32_t ticks;  // one-tick waits made
    Bytes bytes;     // sent, or expected in the buffer
    State before, after;
};

// clang-format off
const LinkCase CASES[] = {
    {"size MS answers", READ_REG, DATA, R(ST, 0xFF) + R(LS, 0xFF) + R(MS, 0) + R(DATA, 1), LINK_OK, 1, 0, {}, ON, ON},
    {"read when gone", READ_REG, LS, GONE, LINK_NO_MODULE, NONE, 0, {}, ON, OFF},
    {"send of 258 bytes", SEND, 0, send(B258), LINK_OK, NONE, 0, B258, ON, ON},
    {"send while not free", SEND, 0, rreg(ST, 0x80), LINK_BUSY, NONE, 0, {1}, {4, 1, 0x300}, {4, 1, 0x300}},
    {"free drops after HC", SEND, 0, rreg(ST, 0x40) + wreg(ST, 1) + rreg(ST, 0) + wreg(ST, 0), LINK_BUSY, NONE, 0, {1}, ON, ON},
    {"write error", SEND, 0, send({0xAA, 0xBB}, 0, 0x42), LINK_TRANSFER_ERROR, NONE, 0, {0xAA, 0xBB}, ON, ON},
    {"gone in a send", SEND, 0, rreg(ST, 0x40) + wreg(ST, 1) + rreg(ST, 0x40) + wreg(LS, 2) + wreg(MS, 0) + wreg(DATA, 7) + GONE, LINK_NO_MODULE, NONE, 0, {7, 8}, ON, {1, 0, 0x300}},
    {"read error keeps the bytes", RECEIVE, 8, receive({0x12, 0x34, 0x56}, 0xC1), LINK_TRANSFER_ERROR, 3, 0, {0x12, 0x34, 0x56}, ON, ON},
    {"longer than the buffer", RECEIVE, 4, receive({1, 2, 3, 4, 5, 6}), LINK_TRANSFER_ERROR, 4, 0, {1, 2, 3, 4}, ON, ON},
    {"empty reader", DETECT, 270, probe(0x300, 0xFF, 0xFF) + probe(0x320, 0xFF, 0xFF) + probe(0x340, 0xFF, 0xFF) + probe(0x360, 0xFF, 0xFF) + probe(0x380, 0xFF, 0xFF), LINK_NO_MODULE, NONE, 0, {}, {0, 0, 0x340}, {0, 0, 0x340}},
    {"first free base with size MS & 7 zero, its reset failing", DETECT, 270, probe(0x300, 0x00, 0x80) + probe(0x320, 0x04, 0x40) + probe(0x340, 0x08, 0x7F) + R(0x341, 0x40) + W(0x341, 0x08) + R(0x341, 0xFF) + R(0x342, 0xFF) + R(0x343, 0xFF), LINK_NO_MODULE, NONE, 0, {}, OFF, {0, 0, 0x340}},
    {"probe and reset, size capped", DETECT, 270, probe(0x300, 0, 0x40) + reset({2, 0}, {1, 0x0E}), LINK_OK, 270, 3, {}, OFF, ON},
    {"known base, size kept", DETECT_KNOWN, 128, reset({0, 100}, {0, 100}), LINK_OK, 100, 3, {}, OFF, ON},
    {"size read with RE", RESET, 270, START + receive(S128, 0x41) + SW_ON + send(S128, 2) + SW_OFF + FREE, LINK_OK, 128, 3, {}, ON, ON},
    {"size write with WE", RESET, 270, START + receive(S128) + SW_ON + send(S128, 2, 0x42) + SW_OFF + FREE, LINK_OK, 128, 3, {}, ON, ON},
    {"size write busy once", RESET, 270, START + receive(S128) + SW_ON + NOT_READY + send(S128, 2) + SW_OFF + FREE, LINK_OK, 128, 4, {}, ON, ON},
    {"size read at the 10000th attempt", RESET, 270, START + times(9999, NOT_READY) + receive(S128), LINK_RESET_FAILED, NONE, 10000, {}, ON, {4, 1, 0x300}},
    {"size write at the 10000th attempt", RESET, 270, START + receive(S128) + SW_ON + times(9999, NOT_READY) + send(S128, 2), LINK_RESET_FAILED, 128, 10001, {}, ON, {2, 1, 0x300}},
    {"free at the 10000th attempt", RESET, 270, NEGOTIATE_128 + times(9999, NOT_READY) + FREE, LINK_RESET_FAILED, 128, 10002, {}, ON, ON},
    {"size reply of one byte", RESET, 270, START + receive({1}), LINK_RESET_FAILED, NONE, 0, {}, ON, {4, 1, 0x300}},
    {"HC left by a broken send", RESET, 270, wreg(ST, 0x09) + GONE, LINK_RESET_FAILED, NONE, 0, {}, {1, 1, 0x300}, {1, 0, 0x300}},
};
// clang-format on

class Link : public testing::TestWithParam<LinkCase> {};

TEST_P(Link, MakesTheWholeRegisterSequence) {
    const LinkCase &c = GetParam();
    SCOPED_TRACE(c.name);
    module_link = {uint8_t(c.before.shadow), 0, 0, 0, uint16_t(c.before.base),
                   uint8_t(c.before.present)};
    sim_clock_set_ms(CLOCK_START);
    port_scripted = true;
    port_script = c.trace;
    port_made.clear();
    Bytes buffer(16, 0xEE);
    uint16_t out = NONE;
    uint8_t value = 0x55;
    const auto arg = uint16_t(c.arg), length = uint16_t(c.bytes.size());
    const int result = c.op == READ_REG  ? ci_read_reg(arg, &value)
                       : c.op == SEND    ? ci_send(c.bytes.data(), length)
                       : c.op == RECEIVE ? ci_receive(buffer.data(), arg, &out)
                       : c.op == RESET   ? ci_reset(arg, &out)
                                         : ci_detect(arg, &out, c.op == DETECT_KNOWN);
    port_scripted = false;
    if (value != 0x55) out = value;
    const auto [made, want] =
        std::mismatch(port_made.begin(), port_made.end(), c.trace.begin(), c.trace.end());
    EXPECT_EQ(made == port_made.end() ? "(end)" : *made, want == c.trace.end() ? "(end)" : *want)
        << "step " << made - port_made.begin();
    EXPECT_EQ(std::tuple(result, int(out), tick_count() - CLOCK_START,
                         int(module_link.command_shadow), int(module_link.present),
                         int(module_link.io_base)),
              std::tuple(c.result, c.out, c.ticks, c.after.shadow, c.after.present, c.after.base));
    buffer.resize(c.op == RECEIVE ? length + 1u : 0); // the bytes received, and nothing past them
    EXPECT_EQ(buffer, c.op == RECEIVE ? c.bytes + Bytes{0xEE} : Bytes{});
}

INSTANTIATE_TEST_SUITE_P(Rows, Link, testing::ValuesIn(CASES));

} // namespace
