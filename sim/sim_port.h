#pragma once
#include <cstdio>

// Every access the module sees from now on is written to the file, one per line
// ("R 0x301 0x40"), each followed by the protocol errors it caused ("! frame check byte wrong").
void sim_port_trace_to(std::FILE *file);
