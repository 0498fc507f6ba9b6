// Drawing and key waits shared by every screen of the program. Every message stands at
// column 1 of a fixed row.
#pragma once
#include <cstdint>

void screen_line(uint16_t row, const char *text);
void screen_banner();

constexpr uint8_t KEY_ESC = 27;
constexpr uint8_t KEY_SPACE = 32;

// The exit code of Q or q at a wait_key prompt, and of a lost keyboard there: 0, until the
// outcome of a failed update is on screen.
extern int quit_exit_code;
constexpr int EXIT_UPDATE_FAILED = 4;

// Each wait first drops the keys typed before its screen was drawn (key_discard).
// Waits for ESC or SPACE and returns it; Q or q end the process with quit_exit_code. Every
// other code, lead codes of two-code keys included, is ignored.
uint8_t wait_key();
// As wait_key, with SPACE ignored too: returns on ESC (the initialisation error, the outcome).
void wait_key_past_space();
// Waits for ESC alone (the update's error screens): Q does not end the program there.
void wait_escape();
