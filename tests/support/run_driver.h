// Whole runs against the simulated module on the virtual clock and screen, keeping every
// message the host writes on the bus.
#pragma once
#include "sim/sim_module.h"
#include "tests/support/virtual_screen.h"

struct RunSetup {
    SimConfig config = {};
    std::vector<int> keys = {};
    int signal = 0;        // held while the shield is up; 0: none
    int bad_marker = -1;   // page whose image carries a broken marker
    uint32_t clock_ms = 0; // the tick counter at the start
};
constexpr int WAITING = -2; // the exit code of a run left waiting for a key

struct Message {
    std::vector<uint8_t> bytes;
    size_t screen_writes; // screen writes before it
};
extern std::vector<Message> wire; // host messages, size writes aside

// Returns the exit code; the screen is in vscreen, what the module saw in sim_record.
int run_program(const RunSetup &setup);
// A fault schedule from arbitrary bytes, the sweep's or the fuzzer's.
RunSetup schedule_from_bytes(const uint8_t *data, size_t size);

// Whether the module answers the identification; the buffer size the update then has; its
// data bytes per block (frames of at most 259 bytes); blocks per page (0: none fits).
bool identified(const SimConfig &config);
uint16_t update_buffer(const SimConfig &config);
uint32_t block_len_for(uint16_t buffer);
uint32_t blocks_for(int page, uint16_t buffer);
