// Drawing and key waits shared by every screen of the program. Every message stands at
// column 1 of a fixed row.
#pragma once
#include <cstdint>

extern const char BANNER[];

// Writes a message at column 1 of the row.
void screen_line(uint16_t row, const char *text);
// The banner line at column 1, row 1.
void screen_banner();

constexpr uint8_t KEY_ESC = 27;
constexpr uint8_t KEY_SPACE = 32;

// Waits for ESC or SPACE and returns it; Q or q end the process with exit code 0. Every other
// code, lead codes of two-code keys included, is ignored.
uint8_t wait_key();
// Waits for ESC alone (the update's error screens): Q does not end the program there.
void wait_escape();
