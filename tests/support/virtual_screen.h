// A virtual console: cells, every write, scripted keys; a process exit returns to the test.
#pragma once
#include <deque>
#include <string>
#include <utility>
#include <vector>

constexpr int SCREEN_COLUMNS = 80, SCREEN_ROWS = 25;
struct ProcessExit {
    int code;
};
struct KeysExhausted {}; // thrown when the scripted keys run out
constexpr int EARLY = 0x1000;

using Rows = std::vector<std::pair<int, std::string>>; // row, text at column 1
struct VirtualScreen {
    std::vector<std::string> cells;
    int column = 0, row = 0;
    Rows writes;
    std::vector<size_t> messages_before; // host messages the module had when each write came
    std::deque<int> keys; // EARLY + code: typed before the screen that reads it was drawn
    bool shielded = false;
    int held_signal = 0; // arrives while shielded
    int keys_read_shielded = 0;
};
extern VirtualScreen vscreen;

void vscreen_reset();
// The non-blank rows as "row:cells" lines; rows_dump: the same for texts at column 1.
std::string vscreen_dump();
std::string rows_dump(const Rows &rows);

template <typename T> std::vector<T> operator+(std::vector<T> a, const std::vector<T> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The exit code `body` ended with, -1 if it returned.
template <typename Body> int run_until_exit(Body body) {
    try {
        body();
    } catch (const ProcessExit &e) {
        return e.code;
    }
    return -1;
}
