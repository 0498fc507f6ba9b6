#include "tests/support/virtual_screen.h"

#include "platform/console.h"
#include "platform/process.h"
#include "sim/sim_module.h"

VirtualScreen vscreen;

void vscreen_reset() {
    vscreen = VirtualScreen{};
    screen_clear();
}

static std::string trimmed(const std::string &text) {
    return text.substr(0, text.find_last_not_of(' ') + 1);
}
std::string vscreen_dump() {
    std::string out;
    for (int row = 0; row < SCREEN_ROWS; ++row)
        if (const auto cells = trimmed(vscreen.cells[size_t(row)]); !cells.empty())
            out += std::to_string(row) + ":" + cells + "\n";
    return out;
}
std::string rows_dump(const Rows &rows) {
    std::string out;
    for (const auto &[row, text] : rows) out += std::to_string(row) + ": " + trimmed(text) + "\n";
    return out;
}

bool console_open() {
    return true;
}
void console_restore() {}
void screen_clear() {
    vscreen.cells.assign(SCREEN_ROWS, std::string(SCREEN_COLUMNS, ' '));
    vscreen.column = vscreen.row = 0;
}
void screen_goto(uint16_t column, uint16_t row) {
    if (column >= SCREEN_COLUMNS || row >= SCREEN_ROWS) return;
    vscreen.column = column;
    vscreen.row = row;
}
void screen_write(const char *text) {
    VirtualScreen &v = vscreen;
    v.writes.emplace_back(v.row, text);
    v.messages_before.push_back(sim_record.messages.size());
    for (; *text; ++text) {
        const bool line_feed = *text == '\n';
        if (!line_feed) v.cells[size_t(v.row)][size_t(v.column++)] = *text;
        if (line_feed || v.column == SCREEN_COLUMNS) v.column = 0, v.row += v.row < SCREEN_ROWS - 1;
    }
}
int key_read() {
    if (vscreen.keys.empty()) throw KeysExhausted{};
    const int code = vscreen.keys.front();
    vscreen.keys.pop_front();
    vscreen.keys_read_shielded += vscreen.shielded;
    return code >= EARLY ? code - EARLY : code;
}
void key_discard() {
    while (!vscreen.keys.empty() && vscreen.keys.front() >= EARLY) vscreen.keys.pop_front();
}
void process_exit(int code) {
    throw ProcessExit{code};
}
void process_shield_begin() {
    vscreen.shielded = true;
}
void process_shield_end() {
    if (!vscreen.shielded) return;
    vscreen.shielded = false;
    if (vscreen.held_signal) process_exit(128 + vscreen.held_signal);
}
