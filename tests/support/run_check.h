#pragma once
#include "tests/support/run_driver.h"

// What broke; `predicted`: the faults also fix the outcome.
std::string check_run(const RunSetup &setup, int code, bool predicted);
