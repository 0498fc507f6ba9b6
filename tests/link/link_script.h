// Scripts of the register accesses the link makes, built from the steps it is made of, so a
// test states a whole transfer in a few lines and every access is still checked.
#pragma once
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "link/ci_link.h"
#include "tests/support/scripted_port.h"

constexpr uint16_t BASE = 0x300;
constexpr uint16_t DATA = BASE, STATUS = BASE + 1, SIZE_LS = BASE + 2, SIZE_MS = BASE + 3;

// ci_read_reg / ci_write_reg on a present module: the presence check reads the status first.
inline void reg_read(uint16_t port, uint8_t value) {
    script_present(BASE);
    script_read(port, value);
}
inline void reg_write(uint16_t port, uint8_t value) {
    script_present(BASE);
    script_write(port, value);
}
// The presence check finding the module gone.
inline void gone() {
    script_read(STATUS, 0xFF);
    script_read(SIZE_LS, 0xFF);
    script_read(SIZE_MS, 0xFF);
}

// A whole successful ci_send of `bytes`, the command shadow being `shadow` before it.
inline void send_ok(const std::vector<uint8_t> &bytes, uint8_t shadow = 0,
                    uint8_t final_status = 0x40) {
    reg_read(STATUS, 0x40);
    reg_write(STATUS, static_cast<uint8_t>(shadow | 0x01));
    reg_read(STATUS, 0x40);
    reg_write(SIZE_LS, static_cast<uint8_t>(bytes.size() & 0xFF));
    reg_write(SIZE_MS, static_cast<uint8_t>(bytes.size() >> 8));
    for (uint8_t b : bytes) reg_write(DATA, b);
    reg_read(STATUS, final_status);
    reg_write(STATUS, shadow);
}

// A whole ci_receive of `bytes` (plain data reads, no presence check per byte).
inline void receive(const std::vector<uint8_t> &bytes, uint8_t final_status = 0x40) {
    reg_read(STATUS, 0x80);
    reg_read(SIZE_LS, static_cast<uint8_t>(bytes.size() & 0xFF));
    reg_read(SIZE_MS, static_cast<uint8_t>(bytes.size() >> 8));
    for (uint8_t b : bytes) script_read(DATA, b);
    reg_read(STATUS, final_status);
}

// Fresh link at BASE, present by default, on the virtual clock at 0.
void link_test_reset(uint8_t present = 1);

#define EXPECT_SCRIPT_DONE()                                                                       \
    do {                                                                                           \
        EXPECT_TRUE(script_mismatches().empty()) << script_mismatches().front();                   \
        EXPECT_EQ(script_remaining(), 0u);                                                         \
    } while (0)
