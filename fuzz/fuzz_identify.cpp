#include <string>
#include <vector>

#include "link/port.h"
#include "protocol/identify.h"
#include "tests/support/virtual_screen.h"

uint8_t port_read(uint16_t) {
    __builtin_trap();
}
void port_write(uint16_t, uint8_t) {
    __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 300) return 0;
    const std::vector<uint8_t> reply(data, data + size);
    vscreen_reset();
    const int code = run_until_exit([&] { identify_show_records(reply.data(), uint16_t(size)); });
    bool refused = false;
    for (const auto &[row, text] : vscreen.writes) {
        for (const char c : text)
            if (uint8_t(c) < 0x20 || (uint8_t(c) >= 0x7F && uint8_t(c) <= 0x9F)) __builtin_trap();
        if (row < 18) __builtin_trap();
        refused |= text.starts_with("PROCESSOR VERSION: ") && text != "PROCESSOR VERSION: 51";
    }
    if (code != (refused ? 1 : -1)) __builtin_trap();
    return 0;
}
