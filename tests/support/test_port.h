// The port seam of the tests: accesses go to the simulated module or, while a script is set, are
// answered from it and recorded as steps "R 301 40" (0x40 read from port 0x301) or "W 301 01".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

using Trace = std::vector<std::string>;
std::string trace_step(char direction, int port, int value);
// While scripted, a read gets the value of the step of port_script at its position if that is a
// read of its port, else 0xFF; every access is added to port_made.
extern bool port_scripted;
extern Trace port_script, port_made;
// Empty when the traces are equal, else the first step that differs.
std::string trace_difference(const Trace &made, const Trace &expected);
