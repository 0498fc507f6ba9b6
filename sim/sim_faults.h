// Seeded random faults of the simulated interface (flipped status bits, dropped or repeated
// bytes, stalled replies), at sim_config.fault_rate per register access.
#pragma once
#include <cstdint>

void sim_faults_reset();
// The value the host sees for a read of the register at `offset`.
uint8_t sim_faults_on_read(int offset, uint8_t value);
// True when a write to the register at `offset` is lost on the bus.
bool sim_faults_drop_write(int offset);
