// A virtual console for tests: a grid of cells that text overwrites as a console does, every
// write in order, a queue of scripted key codes, and a process exit that returns to the test.
#pragma once
#include <deque>
#include <string>
#include <utility>
#include <vector>

constexpr int SCREEN_COLUMNS = 80;
constexpr int SCREEN_ROWS = 25;

struct ProcessExit { // thrown by process_exit where the process would have ended
    int code;
};
struct KeysExhausted {}; // thrown when the program waits for a key the test did not script

struct VirtualScreen {
    std::vector<std::string> cells; // SCREEN_ROWS rows of SCREEN_COLUMNS characters
    int column = 0, row = 0;
    int clears = 0, keys_read = 0;
    std::vector<std::pair<int, std::string>> writes; // every screen_write: (row, text)
    std::deque<int> keys;
    int shield_depth = 0; // process_shield_begin minus process_shield_end
    int shield_begins = 0;
};

extern VirtualScreen vscreen;

void vscreen_reset();
// Rows that hold anything, as "row: text" lines without trailing blanks.
std::string vscreen_dump();
// Texts at column 1 of rows, as a screen or as writes in their order.
using Rows = std::vector<std::pair<int, std::string>>;
// The rows as vscreen_dump shows them (rows in increasing order).
std::string rows_dump(const Rows &rows);

// Runs a part of the program; returns the exit code it ended with, or -1 if it returned.
template <typename Body> int run_until_exit(Body body) {
    try {
        body();
    } catch (const ProcessExit &e) {
        return e.code;
    }
    return -1;
}
