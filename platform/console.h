// The console seam: one implementation per operating system, and a virtual screen for tests.
#pragma once
#include <cstdint>

// The screens need a terminal (a console window on Windows) of at least this size.
constexpr int SCREEN_COLUMNS_MIN = 80;
constexpr int SCREEN_ROWS_MIN = 25;
// Called before any port is touched and before anything is drawn. When standard output is a
// terminal smaller than the screens, writes one message naming both sizes on standard error,
// headed by the program's name, and returns false; otherwise, and when there is no terminal
// to measure, returns true.
bool console_size_check(const char *program);

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
// Drops every key typed and not yet read, a key's codes or bytes already taken in included:
// called once a screen is drawn, so that no key pressed before answers it.
void key_discard();
