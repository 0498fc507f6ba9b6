#include <cstdio>

#include "tests/support/run_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const RunSetup setup = schedule_from_bytes(data, size);
    const std::string broken = check_run(setup, run_program(setup), true);
    if (broken.empty()) return 0;
    std::fputs(broken.c_str(), stderr);
    __builtin_trap();
}
