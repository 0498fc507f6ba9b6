#include "console/screen.h"

#include "platform/console.h"
#include "platform/process.h"

static const char BANNER[] =
    "RIV IZEVEZ EDURAVA ZUZERA V6.00   ciflash, free flash tool for CI modules";
int quit_exit_code = 0;

void screen_line(uint16_t row, const char *text) {
    screen_goto(1, row);
    screen_write(text);
}

void screen_banner() {
    screen_line(1, BANNER);
}

namespace {

uint8_t next_key() {
    for (;;) {
        const int code = key_read();
        // With no keyboard at all the wait could never end: leave as Q does.
        if (code == KEY_LOST) process_exit(quit_exit_code);
        // A failed read (-1) reads as 0xFF and is ignored like any other code.
        const auto key = static_cast<uint8_t>(code);
        if (key == KEY_ESC || key == KEY_SPACE) return key;
        if (key == 'Q' || key == 'q') process_exit(quit_exit_code);
    }
}

} // namespace

uint8_t wait_key() {
    key_discard();
    return next_key();
}

void wait_key_past_space() {
    key_discard();
    while (next_key() == KEY_SPACE) {
    }
}

void wait_escape() {
    key_discard();
    for (;;) {
        const int code = key_read();
        // With no keyboard the screen is left as ESC would leave it.
        if (code == KEY_LOST || code == KEY_ESC) return;
    }
}
