// Runs the identification and the flash update against the simulated module.
#pragma once
#include "protocol/flash_update.h"
#include "protocol/identify.h"
#include "tests/support/sim_harness.h"

// The update's result (0 or 1), or the exit code if the process ended, or -2 when the program
// waited for a key that was not scripted (the screen then shows what it waited on).
inline int run_update(const SimConfig &config, std::initializer_list<int> keys) {
    harness_reset(config);
    harness_keys(keys);
    harness_detect();
    int result = -1;
    try {
        const int code = run_until_exit([&] {
            module_identify();
            result = flash_update();
        });
        return code >= 0 ? code : result;
    } catch (const KeysExhausted &) {
        return -2;
    }
}
