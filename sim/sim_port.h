#pragma once
#include <cstdio>

// Every port access from now on is written to the file, one per line ("R 0x301 0x40").
void sim_port_trace_to(std::FILE *file);
