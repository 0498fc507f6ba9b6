// Command frames: the framed commands the program sends the module and the status words of
// its replies. A frame is start, mode, length L, then an ISO/IEC 7816-4 command body
// (CLA INS P1 P2 Lc data) of L bytes, then the XOR of everything before it.
#pragma once
#include <cstdint>

constexpr uint8_t FRAME_START = 0x12;
constexpr uint8_t FRAME_CLASS = 0x80;
constexpr uint16_t FRAME_OVERHEAD = 9; // header 3, body header 5, check byte 1
constexpr uint16_t FRAME_MAX_DATA = 250;

constexpr int FRAME_POS_MODE = 1;
constexpr int FRAME_POS_LENGTH = 2;
constexpr int FRAME_POS_CLA = 3;
constexpr int FRAME_POS_INS = 4;
constexpr int FRAME_POS_P1 = 5;
constexpr int FRAME_POS_P2 = 6;
constexpr int FRAME_POS_LC = 7;
constexpr int FRAME_POS_DATA = 8;
constexpr int REPLY_POS_SW1 = 3;
constexpr int REPLY_POS_SW2 = 4;

constexpr uint8_t INS_IDENTIFY = 0x13;
constexpr uint8_t INS_WRITE_BLOCK = 0xFF;

constexpr uint8_t SW1_OK = 0x90;
constexpr uint8_t SW1_NVM_UNCHANGED = 0x64;
constexpr uint8_t SW1_NVM_CHANGED = 0x65;
constexpr uint8_t SW1_WRONG_LENGTH = 0x67;
constexpr uint8_t SW2_MEMORY_FAILURE = 0x81;

constexpr uint32_t EXCHANGE_POLL_MS = 50;
constexpr uint32_t EXCHANGE_TIMEOUT_MS = 2000;

// Fills a frame and returns its length n + 9. Requires n <= FRAME_MAX_DATA and room for n + 9
// bytes.
uint16_t frame_build(uint8_t *frame, uint8_t mode, uint8_t ins, uint8_t p1, uint8_t p2,
                     const uint8_t *data, uint16_t n);

// Sends the frame and polls for the reply. The reply lands in the same buffer (room for `capacity`
// bytes) and *length becomes its length. Returns 0 when the exchange ended, -1 on a time-out
// (length unchanged). A failed reply transfer ends the process on the received-data error screen.
int frame_exchange(uint8_t *frame, uint16_t capacity, uint16_t *length);
