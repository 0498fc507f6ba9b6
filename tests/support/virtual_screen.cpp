#include "tests/support/virtual_screen.h"

#include "platform/console.h"
#include "platform/process.h"

VirtualScreen vscreen;

void vscreen_reset() {
    vscreen = VirtualScreen{};
    vscreen.cells.assign(SCREEN_ROWS, std::string(SCREEN_COLUMNS, ' '));
}

std::string vscreen_row(int row) {
    std::string text = vscreen.cells.at(static_cast<size_t>(row));
    return text.erase(text.find_last_not_of(' ') + 1);
}

std::string vscreen_text(int column, int row, int length) {
    return vscreen.cells.at(static_cast<size_t>(row))
        .substr(static_cast<size_t>(column), static_cast<size_t>(length));
}

std::vector<std::string> vscreen_writes_at(int row) {
    std::vector<std::string> texts;
    for (const auto &[at, text] : vscreen.writes)
        if (at == row) texts.push_back(text);
    return texts;
}

std::string vscreen_dump() {
    std::string out;
    for (int row = 0; row < SCREEN_ROWS; ++row)
        if (!vscreen_row(row).empty()) out += std::to_string(row) + ": " + vscreen_row(row) + "\n";
    return out;
}

bool console_open() {
    return true;
}
void console_restore() {}

void screen_clear() {
    if (vscreen.info_fails) return;
    vscreen.cells.assign(SCREEN_ROWS, std::string(SCREEN_COLUMNS, ' '));
    vscreen.column = vscreen.row = 0;
    ++vscreen.clears;
}

void screen_goto(uint16_t column, uint16_t row) {
    // A cell outside the buffer is refused; the cursor stays where it is.
    if (column >= SCREEN_COLUMNS || row >= SCREEN_ROWS) return;
    vscreen.column = column;
    vscreen.row = row;
}

void screen_write(const char *text) {
    vscreen.writes.emplace_back(vscreen.row, text);
    for (; *text; ++text) {
        if (*text == '\n') {
            vscreen.column = 0;
            if (vscreen.row < SCREEN_ROWS - 1) ++vscreen.row;
            continue;
        }
        vscreen.cells[static_cast<size_t>(vscreen.row)][static_cast<size_t>(vscreen.column)] =
            *text;
        if (++vscreen.column == SCREEN_COLUMNS) {
            vscreen.column = 0;
            if (vscreen.row < SCREEN_ROWS - 1) ++vscreen.row;
        }
    }
}

int key_read() {
    if (vscreen.keys.empty()) throw KeysExhausted{};
    const int code = vscreen.keys.front();
    vscreen.keys.pop_front();
    ++vscreen.keys_read;
    if (vscreen.shielded) ++vscreen.keys_read_shielded;
    return code;
}

void process_exit(int code) {
    throw ProcessExit{code};
}

void process_shield_begin() {
    if (vscreen.shielded) return;
    vscreen.shielded = true;
    ++vscreen.shield_begins;
}

void process_shield_end() {
    if (!vscreen.shielded) return;
    vscreen.shielded = false;
    if (vscreen.held_signal) process_exit(128 + vscreen.held_signal);
}
