// A virtual console: cells, every write, scripted keys, and a process exit back to the test.
#pragma once
#include <deque>
#include <string>
#include <utility>
#include <vector>

constexpr int SCREEN_COLUMNS = 80, SCREEN_ROWS = 25;
struct ProcessExit { // thrown by process_exit where the process would have ended
    int code;
};
struct KeysExhausted {}; // thrown when the program waits for a key the test did not script

using Rows = std::vector<std::pair<int, std::string>>; // texts at column 1 of rows
struct VirtualScreen {
    std::vector<std::string> cells; // SCREEN_ROWS rows of SCREEN_COLUMNS characters
    int column = 0, row = 0;
    Rows writes; // every screen_write, in order
    std::deque<int> keys;
    bool shielded = false;      // between process_shield_begin and process_shield_end
    int held_signal = 0;        // arrives while the shield is up; 0: none
    int keys_read_shielded = 0; // keys read while the shield is up
};
extern VirtualScreen vscreen;

void vscreen_reset();
// The rows that hold anything as "row: text" lines; rows_dump: the same for texts at column 1.
std::string vscreen_dump();
std::string rows_dump(const Rows &rows);

template <typename T> std::vector<T> operator+(std::vector<T> a, const std::vector<T> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Runs a part of the program; returns the exit code it ended with, or -1 if it returned.
template <typename Body> int run_until_exit(Body body) {
    try {
        body();
    } catch (const ProcessExit &e) {
        return e.code;
    }
    return -1;
}
