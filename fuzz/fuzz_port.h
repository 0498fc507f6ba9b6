// The port seam of the whole-run fuzz target. The module's side is the fuzzer's input: every
// port read takes its next byte, and 0xFF once the input is used up (an empty slot floats high).
// Every write is checked against what the program may ever do to the interface, and the
// messages written are reassembled and checked frame by frame.
#pragma once
#include <cstddef>
#include <cstdint>

void fuzz_port_start(const uint8_t *input, size_t size);
// Block frames written for the page so far; each one carried the page's next block.
uint32_t fuzz_port_blocks_written(int page);
