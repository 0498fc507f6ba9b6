#pragma once
#include <deque>
#include <string>
#include <utility>
#include <vector>

constexpr int SCREEN_COLUMNS = 80, SCREEN_ROWS = 25;
struct ProcessExit {
    int code;
};
struct KeysExhausted {};
constexpr int EARLY = 0x1000;

using Rows = std::vector<std::pair<int, std::string>>;
struct VirtualScreen {
    std::vector<std::string> cells;
    int column = 0, row = 0;
    Rows writes;
    std::vector<size_t> messages_before;
    std::deque<int> keys; // EARLY + code: typed before its screen was drawn
    bool shielded = false;
    int held_signal = 0;
    int keys_read_shielded = 0;
};
extern VirtualScreen vscreen;

void vscreen_reset();
std::string vscreen_dump();
std::string rows_dump(const Rows &rows);

template <typename T> std::vector<T> operator+(std::vector<T> a, const std::vector<T> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

template <typename Body> int run_until_exit(Body body) {
    try {
        body();
    } catch (const ProcessExit &e) {
        return e.code;
    }
    return -1;
}
