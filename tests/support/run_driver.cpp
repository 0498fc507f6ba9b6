#include "tests/support/run_driver.h"

#include <algorithm>

#include "console/screen.h"
#include "link/ci_link.h"
#include "protocol/run_state.h"
#include "run/startup.h"
#include "sim/sim_clock.h"
#include "tests/support/test_images.h"

int run_program(const RunSetup &setup) {
    module_link = ModuleLink{};
    buffer_size = frame_mode = 0;
    quit_exit_code = 0;
    sim_clock_set_ms(setup.clock_ms);
    sim_config = setup.config;
    sim_reset();
    vscreen_reset();
    vscreen.keys.assign(setup.keys.begin(), setup.keys.end());
    vscreen.held_signal = setup.signal;
    const int page = setup.bad_marker;
    if (page >= 0) test_image_bytes[page][MARKER_OFFSET + 3] ^= 0x20;
    int code = WAITING;
    try {
        code = run_until_exit([] { throw ProcessExit{program_entry()}; });
    } catch (const KeysExhausted &) {
    }
    if (page >= 0) test_image_bytes[page][MARKER_OFFSET + 3] ^= 0x20;
    return code;
}

bool identified(const SimConfig &config) {
    return !config.silent_identify && config.block_ms <= 1950; // by the 40th poll, 50 ms apart
}
uint16_t update_buffer(const SimConfig &config) {
    return std::min<uint16_t>(config.module_buffer, identified(config) ? 270 : 128);
}
uint32_t block_len_for(uint16_t buffer) {
    return buffer < 10 ? 0 : std::min<uint32_t>(buffer, 259) - 9;
}
uint32_t blocks_for(int page, uint16_t buffer) {
    const uint32_t len = block_len_for(buffer), size = page ? page_image_1.size : page_image_0.size;
    return len ? (size + len - 1) / len : 0;
}

// Bytes: clock, flags, buffer (2), erase and block delays; a fault: kind, page, block (2), value.
RunSetup schedule_from_bytes(const uint8_t *data, size_t size) {
    size_t at = 0;
    const auto next = [&] { return at < size ? data[at++] : uint8_t{0}; };
    const auto next16 = [&] {
        const uint8_t high = next();
        return uint32_t(high << 8 | next());
    };
    RunSetup s;
    SimConfig &c = s.config;
    s.clock_ms = 0u - next() * 64u; // the tick counter wraps within 16 s
    const uint8_t flags = next();
    c.silent_identify = flags & 1;
    c.bios = flags & 2 ? "1.06" : "1.07";
    const int quit = flags & 4 ? 'q' : flags & 8 ? ' ' : 27;
    s.keys = {quit, 27, quit, 27};
    c.module_buffer = uint16_t(9 + next16() % 1100);
    c.erase_ms = next() * 80u;
    c.block_ms = next() % 16u;
    const uint16_t buffer = update_buffer(c);
    while (at + 5 <= size && blocks_for(0, buffer)) {
        const auto kind = SimEventKind(next() % 8);
        const int page = next() & 1;
        const int block = 1 + int(next16() % blocks_for(page, buffer));
        const uint8_t v = next(), sw2[] = {0x81, 0x00, v}, sw1[] = {0x90, 0x64, 0x65, 0x67, 0x6A};
        const uint32_t value = kind == SIM_REPLY_SW    ? uint32_t(sw1[v % 5] << 8 | sw2[v / 5 % 3])
                               : kind == SIM_BUSY      ? (v == 255 ? 0 : v % 64u)
                               : kind == SIM_REPLY_LEN ? v * 7u
                                                       : 0;
        // One fault a block; none in block 1 of a module silent at the identification.
        if (std::none_of(c.events.begin(), c.events.end(),
                         [&](auto &e) { return e.page == page && e.block == block; }) &&
            (identified(c) || page + block > 1))
            c.events.push_back({kind, page, block, value});
    }
    return s;
}
