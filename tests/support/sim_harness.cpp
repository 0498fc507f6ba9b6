#include "tests/support/sim_harness.h"

#include "console/startup.h"
#include "link/ci_link.h"
#include "protocol/run_state.h"
#include "sim/sim_clock.h"

void harness_reset(const SimConfig &config) {
    module_link = ModuleLink{};
    buffer_size = 0;
    frame_mode = 0;
    sim_clock_virtual = true;
    sim_clock_set_ms(0);
    sim_config = config;
    sim_reset();
    vscreen_reset();
}

void harness_keys(std::initializer_list<int> keys) {
    vscreen.keys.insert(vscreen.keys.end(), keys);
}

int harness_run_program() {
    int entry_result = -1;
    const int code = run_until_exit([&] { entry_result = program_entry(); });
    return code >= 0 ? code : entry_result;
}

void harness_detect() {
    ci_detect(STARTUP_MAX_BUFFER, &buffer_size, 0);
}
