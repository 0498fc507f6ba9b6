// The link against scripted registers: every operation is one table row whose whole register
// sequence is compared with the one the link makes, with its result and the state it leaves.
#include <gtest/gtest.h>

#include <cstdio>

#include "link/ci_link.h"
#include "link/tick.h"
#include "sim/sim_clock.h"
#include "tests/support/test_port.h"

namespace {

template <typename T> std::vector<T> operator+(std::vector<T> a, const std::vector<T> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Trace access(char direction, int port, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%c %03x %02x", direction, port, value);
    return {text};
}
Trace R(int port, int value) {
    return access('R', port, value);
}
Trace W(int port, int value) {
    return access('W', port, value);
}
Trace times(int n, const Trace &t) {
    Trace all;
    while (n-- > 0) all = all + t;
    return all;
}

constexpr int DATA = 0x300, ST = 0x301, LS = 0x302, MS = 0x303;
// ci_read_reg and ci_write_reg on a present module: the presence check reads the status.
Trace rreg(int port, int value) {
    return R(ST, 0x40) + R(port, value);
}
Trace wreg(int port, int value) {
    return R(ST, 0x40) + W(port, value);
}
const Trace GONE = R(ST, 0xFF) + R(LS, 0xFF) + R(MS, 0xFF);

Trace send(const std::vector<uint8_t> &bytes, int shadow = 0, int last_status = 0x40) {
    Trace t = rreg(ST, 0x40) + wreg(ST, shadow | 1) + rreg(ST, 0x40) +
              wreg(LS, int(bytes.size() & 0xFF)) + wreg(MS, int(bytes.size() >> 8));
    for (uint8_t b : bytes) t = t + wreg(DATA, b);
    return t + rreg(ST, last_status) + wreg(ST, shadow);
}
Trace receive(const std::vector<uint8_t> &bytes, int last_status = 0x40) {
    Trace t =
        rreg(ST, 0x80) + rreg(LS, int(bytes.size() & 0xFF)) + rreg(MS, int(bytes.size() >> 8));
    for (uint8_t b : bytes) t = t + R(DATA, b);
    return t + rreg(ST, last_status);
}
Trace probe(int base, int size_ms, int status) {
    return R(base + 2, 0) + R(base + 3, size_ms) + R(base + 1, status);
}
// A reset: RS set and cleared, SR set; the size read; SR cleared, SW set, the size write, SW
// cleared; the free wait.
const Trace RESET_START = wreg(ST, 0x08) + wreg(ST, 0x00) + wreg(ST, 0x04);
const Trace SW_ON = wreg(ST, 0x00) + wreg(ST, 0x02);
const Trace SW_OFF = wreg(ST, 0x00);
const Trace NOT_READY = rreg(ST, 0x00); // no data in the size read, busy or not free elsewhere
const Trace FREE = rreg(ST, 0x40);
const std::vector<uint8_t> S128 = {0x00, 0x80};
Trace negotiate(std::vector<uint8_t> offered, std::vector<uint8_t> sent) {
    return RESET_START + receive(offered) + SW_ON + send(sent, 0x02) + SW_OFF;
}
Trace reset(std::vector<uint8_t> offered, std::vector<uint8_t> sent) {
    return negotiate(offered, sent) + FREE;
}

enum Op { READ_REG, WRITE_REG, SEND, RECEIVE, DETECT, DETECT_KNOWN, RESET };
constexpr int NONE = 0x5555; // an output the operation did not write

// The state around one operation: its argument, bytes and the link record before and after.
struct Setup {
    int arg = 0;                     // port, buffer capacity or host maximum
    std::vector<uint8_t> bytes = {}; // sent, or expected in the buffer
    int shadow = 0, shadow_after = 0;
    int present = 1, present_after = 1;
    int base = 0x300, base_after = 0x300;
};
struct LinkCase {
    const char *name;
    Op op;
    Trace trace;
    int result;
    int out;        // value read, length received or size negotiated; NONE when not written
    uint32_t ticks; // one-tick waits made
    Setup s;
};

const std::vector<uint8_t> B258 = [] {
    std::vector<uint8_t> b(258);
    for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(i * 7);
    return b;
}();

const LinkCase CASES[] = {
    {"status answers", READ_REG, R(ST, 0) + R(DATA, 0x5A), LINK_OK, 0x5A, 0, {.arg = DATA}},
    {"size LS answers",
     READ_REG,
     R(ST, 0xFF) + R(LS, 0) + R(DATA, 0x5A),
     LINK_OK,
     0x5A,
     0,
     {.arg = DATA}},
    {"size MS answers",
     READ_REG,
     R(ST, 0xFF) + R(LS, 0xFF) + R(MS, 0) + R(DATA, 1),
     LINK_OK,
     1,
     0,
     {.arg = DATA}},
    {"read from a gone module",
     READ_REG,
     GONE,
     LINK_NO_MODULE,
     NONE,
     0,
     {.arg = LS, .present_after = 0}},
    {"write to a gone module",
     WRITE_REG,
     GONE,
     LINK_NO_MODULE,
     NONE,
     0,
     {.arg = DATA, .bytes = {1}, .present_after = 0}},
    {"presence at io_base",
     WRITE_REG,
     R(0x361, 0x40) + W(0x322, 1),
     LINK_OK,
     NONE,
     0,
     {.arg = 0x322, .bytes = {1}, .base = 0x360, .base_after = 0x360}},
    {"send of 0 bytes", SEND, send({}), LINK_OK, NONE, 0, {}},
    {"send of 258 bytes", SEND, send(B258), LINK_OK, NONE, 0, {.bytes = B258}},
    {"send while not free",
     SEND,
     rreg(ST, 0x80),
     LINK_BUSY,
     NONE,
     0,
     {.bytes = {1}, .shadow = 4, .shadow_after = 4}},
    {"free drops after HC",
     SEND,
     rreg(ST, 0x40) + wreg(ST, 1) + rreg(ST, 0) + wreg(ST, 0),
     LINK_BUSY,
     NONE,
     0,
     {.bytes = {1}}},
    {"write error",
     SEND,
     send({0xAA, 0xBB}, 0, 0x42),
     LINK_TRANSFER_ERROR,
     NONE,
     0,
     {.bytes = {0xAA, 0xBB}}},
    {"gone in a send",
     SEND,
     rreg(ST, 0x40) + wreg(ST, 1) + rreg(ST, 0x40) + wreg(LS, 2) + wreg(MS, 0) + wreg(DATA, 7) +
         GONE,
     LINK_NO_MODULE,
     NONE,
     0,
     {.bytes = {7, 8}, .shadow_after = 1, .present_after = 0}},
    {"send without module", SEND, {}, LINK_NO_MODULE, NONE, 0, {.present = 0, .present_after = 0}},
    {"no data", RECEIVE, rreg(ST, 0x40), LINK_NO_DATA, NONE, 0, {.arg = 8}},
    {"empty message", RECEIVE, receive({}), LINK_OK, 0, 0, {.arg = 8}},
    {"read error keeps the bytes",
     RECEIVE,
     receive({0x12, 0x34, 0x56}, 0xC1),
     LINK_TRANSFER_ERROR,
     3,
     0,
     {.arg = 8, .bytes = {0x12, 0x34, 0x56}}},
    {"message longer than the buffer",
     RECEIVE,
     receive({1, 2, 3, 4, 5, 6}),
     LINK_TRANSFER_ERROR,
     4,
     0,
     {.arg = 4, .bytes = {1, 2, 3, 4}}},
    {"gone at the size",
     RECEIVE,
     rreg(ST, 0x80) + rreg(LS, 5) + GONE,
     LINK_NO_MODULE,
     NONE,
     0,
     {.arg = 8, .present_after = 0}},
    {"receive without module",
     RECEIVE,
     {},
     LINK_NO_MODULE,
     NONE,
     0,
     {.arg = 8, .present = 0, .present_after = 0}},
    {"empty reader",
     DETECT,
     probe(0x300, 0xFF, 0xFF) + probe(0x320, 0xFF, 0xFF) + probe(0x340, 0xFF, 0xFF) +
         probe(0x360, 0xFF, 0xFF) + probe(0x380, 0xFF, 0xFF),
     LINK_NO_MODULE,
     NONE,
     0,
     {.arg = 270, .present = 0, .present_after = 0, .base = 0x340, .base_after = 0x340}},
    {"first free base with size MS and 7 zero; its reset fails",
     DETECT,
     probe(0x300, 0x00, 0x80) + probe(0x320, 0x04, 0x40) + probe(0x340, 0x08, 0x7F) +
         R(0x341, 0x40) + W(0x341, 0x08) + R(0x341, 0xFF) + R(0x342, 0xFF) + R(0x343, 0xFF),
     LINK_NO_MODULE,
     NONE,
     0,
     {.arg = 270, .present = 0, .present_after = 0, .base_after = 0x340}},
    {"probe and reset, size capped",
     DETECT,
     probe(0x300, 0, 0x40) + reset({2, 0}, {1, 0x0E}),
     LINK_OK,
     270,
     3,
     {.arg = 270, .present = 0}},
    {"known base, size kept",
     DETECT_KNOWN,
     reset({0, 100}, {0, 100}),
     LINK_OK,
     100,
     3,
     {.arg = 128, .present = 0}},
    {"known base never found",
     DETECT_KNOWN,
     {},
     LINK_NO_MODULE,
     NONE,
     0,
     {.arg = 128, .present = 0, .present_after = 0, .base = 0, .base_after = 0}},
    {"size equal to the maximum",
     RESET,
     reset({1, 0x0E}, {1, 0x0E}),
     LINK_OK,
     270,
     3,
     {.arg = 270}},
    {"size reply with RE is used",
     RESET,
     RESET_START + receive(S128, 0x41) + SW_ON + send(S128, 2) + SW_OFF + FREE,
     LINK_OK,
     128,
     3,
     {.arg = 270}},
    {"size write error goes on",
     RESET,
     RESET_START + receive(S128) + SW_ON + send(S128, 2, 0x42) + SW_OFF + FREE,
     LINK_OK,
     128,
     3,
     {.arg = 270}},
    {"size write retried while busy",
     RESET,
     RESET_START + receive(S128) + SW_ON + NOT_READY + send(S128, 2) + SW_OFF + FREE,
     LINK_OK,
     128,
     4,
     {.arg = 270}},
    {"size read: 9999 attempts",
     RESET,
     RESET_START + times(9998, NOT_READY) + receive(S128) + SW_ON + send(S128, 2) + SW_OFF + FREE,
     LINK_OK,
     128,
     10001,
     {.arg = 270}},
    {"size read: 10000 attempts",
     RESET,
     RESET_START + times(9999, NOT_READY) + receive(S128),
     LINK_RESET_FAILED,
     NONE,
     10000,
     {.arg = 270, .shadow_after = 4}},
    {"size write: 9999 attempts",
     RESET,
     RESET_START + receive(S128) + SW_ON + times(9998, NOT_READY) + send(S128, 2) + SW_OFF + FREE,
     LINK_OK,
     128,
     10001,
     {.arg = 270}},
    {"size write: 10000 attempts",
     RESET,
     RESET_START + receive(S128) + SW_ON + times(9999, NOT_READY) + send(S128, 2),
     LINK_RESET_FAILED,
     128,
     10001,
     {.arg = 270, .shadow_after = 2}},
    {"free wait: 9999 attempts",
     RESET,
     negotiate(S128, S128) + times(9998, NOT_READY) + FREE,
     LINK_OK,
     128,
     10001,
     {.arg = 270}},
    {"free wait: 10000 attempts",
     RESET,
     negotiate(S128, S128) + times(9999, NOT_READY) + FREE,
     LINK_RESET_FAILED,
     128,
     10002,
     {.arg = 270}},
    {"gone in the size read",
     RESET,
     RESET_START + NOT_READY + GONE,
     LINK_RESET_FAILED,
     NONE,
     1,
     {.arg = 270, .shadow_after = 4, .present_after = 0}},
    {"size reply of one byte",
     RESET,
     RESET_START + receive({1}),
     LINK_RESET_FAILED,
     NONE,
     0,
     {.arg = 270, .shadow_after = 4}},
    {"size reply of three bytes",
     RESET,
     RESET_START + receive({0, 0x40, 0x99}) + SW_ON + send({0, 0x40}, 2) + SW_OFF + FREE,
     LINK_OK,
     0x40,
     3,
     {.arg = 270}},
    {"HC left by a broken send",
     RESET,
     wreg(ST, 0x09) + GONE,
     LINK_RESET_FAILED,
     NONE,
     0,
     {.arg = 270, .shadow = 1, .shadow_after = 1, .present_after = 0}},
};

class Link : public testing::TestWithParam<LinkCase> {};

TEST_P(Link, MakesTheWholeRegisterSequence) {
    const LinkCase &c = GetParam();
    module_link =
        ModuleLink{uint8_t(c.s.shadow), 0, 0, 0, uint16_t(c.s.base), uint8_t(c.s.present)};
    sim_clock_set_ms(0);
    port_script_set(c.trace);
    std::vector<uint8_t> buffer(16, 0xEE);
    uint16_t out = NONE;
    const uint16_t arg = uint16_t(c.s.arg);
    const auto length = uint16_t(c.s.bytes.size());
    int result = -1;
    switch (c.op) {
    case READ_REG: {
        uint8_t value = 0x55;
        result = ci_read_reg(arg, &value);
        if (value != 0x55) out = value;
        break;
    }
    case WRITE_REG:
        result = ci_write_reg(arg, c.s.bytes.at(0));
        break;
    case SEND:
        result = ci_send(c.s.bytes.data(), length);
        break;
    case RECEIVE:
        result = ci_receive(buffer.data(), arg, &out);
        break;
    case DETECT:
    case DETECT_KNOWN:
        result = ci_detect(arg, &out, c.op == DETECT_KNOWN);
        break;
    case RESET:
        result = ci_reset(arg, &out);
        break;
    }
    port_script_off();
    EXPECT_EQ(trace_difference(port_script_made(), c.trace), "");
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(tick_count(), c.ticks);
    EXPECT_EQ(module_link.command_shadow, c.s.shadow_after);
    EXPECT_EQ(module_link.present, c.s.present_after);
    EXPECT_EQ(module_link.io_base, c.s.base_after);
    if (c.op == RECEIVE) { // the bytes stored, and nothing past them
        EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + length + 1),
                  c.s.bytes + std::vector<uint8_t>{0xEE});
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Link, testing::ValuesIn(CASES), [](const auto &info) {
    std::string name = info.param.name;
    for (char &ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

TEST(TickWait, WaitsFromTheStartAcrossTheWrap) {
    const uint32_t rows[][3] = {{1000, 50, 1050}, {0xFFFFFFFF, 1, 0}, {0xFFFFFFF0, 50, 0x22}};
    for (const auto &r : rows) {
        sim_clock_set_ms(r[0]);
        tick_wait(r[1]);
        EXPECT_EQ(tick_count(), r[2]) << r[0] << " + " << r[1];
    }
}

} // namespace
