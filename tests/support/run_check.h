// The invariants of a run, over the module's record, the screen, the bus and the exit code.
#pragma once
#include "tests/support/run_driver.h"

// What broke, "" when nothing did. With `predicted`, the schedule's faults also fix the
// outcome: which block fails on which error line, or success.
std::string check_run(const RunSetup &setup, int code, bool predicted);
