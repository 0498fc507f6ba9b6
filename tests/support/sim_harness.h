// Runs the program, or a part of it, against the simulated module on the virtual clock and the
// virtual screen.
#pragma once
#include <initializer_list>

#include "sim/sim_module.h"
#include "tests/support/virtual_screen.h"

// Fresh state for a run: link, globals, clock, screen, and a module built from `config`.
void harness_reset(const SimConfig &config = SimConfig{});
void harness_keys(std::initializer_list<int> keys);
// Runs the whole program; returns its exit code (the entry's result when it returns).
int harness_run_program();
// Detects the module as the start-up does, so that a test can begin at the identification.
void harness_detect();
