// The invariants of a run, over the module's record, the screen, the bus and the exit code.
#pragma once
#include "tests/support/run_driver.h"

// What broke, "" if nothing. With `predicted`, the faults also fix the outcome.
std::string check_run(const RunSetup &setup, int code, bool predicted);
