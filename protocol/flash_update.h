// The flash update: writes page 0 and then page 1 from the compiled-in images, block by block,
// one write-block frame per block, each acknowledged by the module before the next.
#pragma once
#include <cstdint>

#include "protocol/frame.h"

constexpr uint32_t UPDATE_POLL_MS = 10;
// A module that neither takes nor answers a block for this long is given up on; a page erase
// before the first reply fits well inside.
constexpr uint32_t UPDATE_REPLY_LIMIT_MS = 30000;
// A block needs one byte, and the frame's 8-bit length field holds at most 5 + 250: a module
// offering a larger buffer gets frames of 259 bytes.
constexpr uint16_t UPDATE_MIN_BUFFER = 10;
constexpr uint32_t UPDATE_MAX_BLOCK = 250;
// Data bytes per block frame for a negotiated buffer size of at least UPDATE_MIN_BUFFER.
constexpr uint32_t update_block_len(uint16_t buffer) {
    const uint32_t block = static_cast<uint32_t>(buffer - FRAME_OVERHEAD);
    return block < UPDATE_MAX_BLOCK ? block : UPDATE_MAX_BLOCK;
}
constexpr uint16_t UPDATE_STAGING_SIZE = 512;
constexpr uint16_t UPDATE_FRAME_BUFFER_SIZE = 1300;

// 0 when both pages are written and every block acknowledged; 1 after an error screen that the
// operator left with ESC. The screen is cleared before it returns. After 0 the signal shield is
// still up: the caller lowers it once the outcome is on screen.
uint8_t flash_update();
