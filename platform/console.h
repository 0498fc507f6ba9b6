// The console seam: screen drawing and single-key input. One implementation per operating
// system (terminal on Linux, console API on Windows) and a virtual screen for tests.
#pragma once
#include <cstdint>

// Prepares the console for the run (no echo, keypad codes). Returns false when standard
// output is not usable for drawing; the program still runs and keys may still be read.
bool console_open();
// Puts the console back as it was found. Safe to call more than once and from a signal handler.
void console_restore();

// Blanks the whole screen and puts the cursor at (0,0); does nothing when the screen size
// cannot be read or the output is not a screen.
void screen_clear();
// Moves the cursor to the zero-based cell (column, row); a failure is ignored, and so is the
// call when the output is not a screen.
void screen_goto(uint16_t column, uint16_t row);
// Writes text at the cursor, without a line end, and flushes it at once.
void screen_write(const char *text);

constexpr int KEY_FAILED = -1; // this read failed; the next one may succeed
constexpr int KEY_LOST = -2;   // no key can be read at all (no terminal, or it is gone): for
                               // good, every later read returns it at once
// Reads one key code without echo and without waiting for Enter: a character's 8-bit code,
// or for keys without a character two codes on two reads (lead 0 or 0xE0, then the scan code).
// Ctrl+C arrives as 3.
int key_read();
