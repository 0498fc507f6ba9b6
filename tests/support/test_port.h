// The port seam of the tests: accesses go to the simulated module, or, while a script is set,
// are answered from the script and recorded, as steps like "R 301 40" (read 0x40 from port
// 0x301) and "W 301 01" (write 0x01 to it).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

using Trace = std::vector<std::string>;

// Reads are answered with the value of the step at the same position when it is a read of
// that port, else 0xFF (nothing answers).
void port_script_set(const Trace &expected);
void port_script_off();
const Trace &port_script_made();
// Empty when the traces are equal, else the first step that differs.
std::string trace_difference(const Trace &made, const Trace &expected);
