// Fuzz target: a whole run (detection, identification, update) against a module that is the
// fuzzer's input. The first byte places the start of the virtual tick counter before its wrap;
// every further byte is the value of one port read (see fuzz_port.h). Every key read is
// answered with ESC, then, from the twenty-first on, as if the terminal were gone.
#include <algorithm>
#include <cstdint>
#include <string>

#include "console/screen.h"
#include "console/startup.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_port.h"
#include "link/ci_link.h"
#include "platform/console.h"
#include "protocol/flash_update.h"
#include "protocol/page_image.h"
#include "protocol/run_state.h"
#include "sim/sim_clock.h"
#include "tests/support/virtual_screen.h"

namespace {

constexpr int ESC_ANSWERS = 20;
constexpr int LOST_ANSWERS = 20;
// Keys a run answered with ESC can read: the insert prompt, one update error screen and the
// outcome screen.
constexpr int MOST_KEYS = 3;
// Milliseconds before the tick counter's wrap per unit of the first input byte: the wrap then
// falls anywhere in the first sixteen seconds of a run.
constexpr uint32_t CLOCK_STEP_MS = 64;

const char *const FATAL_LINES[] = {"DVB MODULE RECEIVED DATA ERROR !!!", "Wrong processor !!!",
                                   "Wrong module reset !!!"};

bool shown(const std::string &text) {
    return std::any_of(vscreen.writes.begin(), vscreen.writes.end(),
                       [&](const auto &write) { return write.second == text; });
}

bool fatal_screen_shown() {
    return std::any_of(std::begin(FATAL_LINES), std::end(FATAL_LINES),
                       [](const char *line) { return shown(line); });
}

uint32_t blocks_of(const PageImage &image) {
    return page_block_count(image, update_block_len(buffer_size));
}

void start_run(const uint8_t *data, size_t size) {
    module_link = ModuleLink{};
    buffer_size = 0;
    frame_mode = 0;
    sim_clock_virtual = true;
    const uint32_t before_wrap = size > 0 ? data[0] * CLOCK_STEP_MS : 0;
    sim_clock_set_ms(0u - before_wrap);
    vscreen_reset();
    vscreen.keys.insert(vscreen.keys.end(), ESC_ANSWERS, KEY_ESC);
    vscreen.keys.insert(vscreen.keys.end(), LOST_ANSWERS, KEY_LOST);
    if (size > 0)
        fuzz_port_start(data + 1, size - 1);
    else
        fuzz_port_start(nullptr, 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    start_run(data, size);
    int entry_result = -1;
    int code = -1;
    try {
        code = run_until_exit([&] { entry_result = program_entry(); });
    } catch (const KeysExhausted &) {
        FUZZ_FAIL("the run keeps waiting for keys");
    }
    FUZZ_CHECK(vscreen.keys_read <= MOST_KEYS, "more key waits than a run has screens");

    if (code >= 0) {
        // Only a fatal screen ends the process before the outcome screen.
        FUZZ_CHECK(code == 1 && fatal_screen_shown(), "the process ended without a fatal screen");
        return 0;
    }
    FUZZ_CHECK(entry_result == 0, "the run returned an exit code other than 0");
    FUZZ_CHECK(!vscreen.shielded && vscreen.shield_begins <= 1 && vscreen.keys_read_shielded == 0,
               "the write phase's shield is up while a key is awaited or after the run");
    const bool success = shown("UPDATE SUCCESSFULL. ");
    FUZZ_CHECK(success != shown("UPDATE ERROR !!!"), "not exactly one outcome");
    if (success)
        FUZZ_CHECK(fuzz_port_blocks_written(0) == blocks_of(page_image_0) &&
                       fuzz_port_blocks_written(1) == blocks_of(page_image_1),
                   "success without every block of both pages written");
    return 0;
}
