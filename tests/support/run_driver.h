// Runs the whole program against the simulated module on the virtual clock and screen, and
// keeps every message the host wrote on the bus.
#pragma once
#include <string>
#include <vector>

#include "sim/sim_module.h"
#include "tests/support/virtual_screen.h"

struct RunSetup {
    SimConfig config = {};
    std::vector<int> keys = {};
    int signal = 0;        // arrives while the shield is up; 0: none
    int bad_marker = -1;   // page whose image carries a broken marker
    uint32_t clock_ms = 0; // the tick counter at the start
};
constexpr int WAITING = -2; // exit code of a run left waiting for a key nobody types

struct Message {
    std::vector<uint8_t> bytes;
    size_t screen_writes; // screen writes done when it was written
};
extern std::vector<Message> wire; // host messages of the run, size writes aside

// Returns the exit code; the screen is in vscreen and what the module saw in sim_record.
int run_program(const RunSetup &setup);

// A fault schedule from arbitrary bytes (the sweep's random ones, the fuzzer's), and its text.
RunSetup schedule_from_bytes(const uint8_t *data, size_t size);
std::string schedule_text(const RunSetup &setup);

// Blocks of a page for a buffer size: the image cut in frames of at most 259 bytes.
uint32_t block_len_for(uint16_t buffer);
uint32_t blocks_for(int page, uint16_t buffer);
// Whether the module answers the identification; the buffer size the update then uses.
bool identified(const SimConfig &config);
uint16_t update_buffer(const SimConfig &config);
