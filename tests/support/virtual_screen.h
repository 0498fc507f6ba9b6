// A virtual console for tests: a grid of cells that text overwrites as a console does, a
// queue of scripted key codes, and a process exit that returns control to the test.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

constexpr int SCREEN_COLUMNS = 80;
constexpr int SCREEN_ROWS = 25;

// Thrown by process_exit: the test catches it where the process would have ended.
struct ProcessExit {
    int code;
};
// Thrown when the program waits for a key that the test did not script.
struct KeysExhausted {};

struct VirtualScreen {
    std::vector<std::string> cells; // SCREEN_ROWS rows of SCREEN_COLUMNS characters
    int column = 0, row = 0;
    int clears = 0;
    std::vector<std::pair<int, std::string>> writes; // every screen_write: (row, text)
    std::deque<int> keys;
    int keys_read = 0;
    bool info_fails = false; // screen_clear cannot read the screen size
    bool shielded = false;   // between process_shield_begin and process_shield_end
    int shield_begins = 0;   // times the shield went up
    int held_signal = 0;     // a signal that arrives while the shield is up, 0 for none
    int keys_read_shielded = 0;
};

extern VirtualScreen vscreen;

void vscreen_reset();
// Row `row` without its trailing blanks.
std::string vscreen_row(int row);
// The text at (column, row) of the given length, blanks included.
std::string vscreen_text(int column, int row, int length);
// The texts written at `row`, in order.
std::vector<std::string> vscreen_writes_at(int row);
// Rows that hold anything, as "row: text" lines, for failure messages.
std::string vscreen_dump();

// Runs a part of the program and returns the exit code it ended with, or -1 if it returned.
template <typename Body> int run_until_exit(Body body) {
    try {
        body();
    } catch (const ProcessExit &e) {
        return e.code;
    }
    return -1;
}
