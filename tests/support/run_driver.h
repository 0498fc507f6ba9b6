#pragma once
#include "sim/sim_module.h"
#include "tests/support/virtual_screen.h"

struct RunSetup {
    SimConfig config = {};
    std::vector<int> keys = {};
    int signal = 0;
    int bad_marker = -1; // broken marker's page
    uint32_t clock_ms = 0;
};
constexpr int WAITING = -2;

int run_program(const RunSetup &setup);
RunSetup schedule_from_bytes(const uint8_t *data, size_t size);

bool identified(const SimConfig &config);
uint16_t update_buffer(const SimConfig &config);
uint32_t block_len_for(uint16_t buffer);
uint32_t blocks_for(int page, uint16_t buffer);
