// Whole runs against the simulated module on the virtual clock and screen.
#pragma once
#include "sim/sim_module.h"
#include "tests/support/virtual_screen.h"

struct RunSetup {
    SimConfig config = {};
    std::vector<int> keys = {};
    int signal = 0;        // held while the shield is up
    int bad_marker = -1;   // page whose image has a broken marker
    uint32_t clock_ms = 0; // the tick counter at the start
};
constexpr int WAITING = -2; // the exit code of a run left waiting for a key

struct Message {
    std::vector<uint8_t> bytes;
    size_t screen_writes; // screen writes before it
};
extern std::vector<Message> wire; // host messages, size writes aside

// The exit code; the screen is in vscreen, what the module saw in sim_record.
int run_program(const RunSetup &setup);
// A fault schedule from any bytes, the sweep's or the fuzzer's.
RunSetup schedule_from_bytes(const uint8_t *data, size_t size);

// Whether the module answers the identification; the update's buffer; data bytes per block;
// blocks per page (0: none fits).
bool identified(const SimConfig &config);
uint16_t update_buffer(const SimConfig &config);
uint32_t block_len_for(uint16_t buffer);
uint32_t blocks_for(int page, uint16_t buffer);
