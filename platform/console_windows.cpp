// The console on Windows. Keys come from the console's own input (CONIN$), whatever standard
// input is, through the C runtime's no-echo read, which gives keys without a character as two
// codes itself.
#include "platform/console.h"

#include "platform/process.h"
#include "platform/process_windows.h"

#include <atomic>
#include <conio.h>
#include <cstdio>
#include <cstdlib>
#include <windows.h>

namespace {

// The last row of the screens; at the end the cursor goes below it (and below any lower row
// written) so that the shell's prompt never covers the last screen.
constexpr uint16_t LAST_SCREEN_ROW = 24;

bool opened;
HANDLE keyboard = INVALID_HANDLE_VALUE; // the console's input buffer, from console_open on
DWORD mode_before_read;                 // the input mode that the key read in progress changed

// Read by console_restore, which may run on the thread of the console control handler.
std::atomic<bool> restore_due{false};
std::atomic<bool> read_in_progress{false};
std::atomic<bool> output_used{false};
std::atomic<uint16_t> bottom_row_written{0};

HANDLE screen() {
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

COORD cell(uint16_t column, uint16_t row) {
    return {static_cast<SHORT>(column), static_cast<SHORT>(row)};
}

} // namespace

bool console_size_check(const char *program) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(screen(), &info)) return true;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    const int rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    if (columns >= SCREEN_COLUMNS_MIN && rows >= SCREEN_ROWS_MIN) return true;
    std::fprintf(stderr,
                 "%s: the console window is %dx%d; the screens need at least "
                 "%dx%d.\nEnlarge the window, then start %s again.\n",
                 program, columns, rows, SCREEN_COLUMNS_MIN, SCREEN_ROWS_MIN, program);
    return false;
}

bool console_open() {
    if (!opened) {
        opened = true;
        restore_due = true;
        keyboard =
            CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        process_catch_signals();
        std::atexit(console_restore);
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    return GetConsoleScreenBufferInfo(screen(), &info) != 0;
}

void console_restore() {
    if (!restore_due.exchange(false)) return;
    if (read_in_progress.exchange(false)) SetConsoleMode(keyboard, mode_before_read);
    if (!output_used) return;
    const uint16_t row =
        bottom_row_written > LAST_SCREEN_ROW ? bottom_row_written.load() : LAST_SCREEN_ROW;
    SetConsoleCursorPosition(screen(), cell(0, row));
    DWORD written = 0;
    WriteFile(screen(), "\r\n", 2, &written, nullptr);
}

void screen_clear() {
    const HANDLE out = screen();
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(out, &info)) return;
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    DWORD done = 0;
    FillConsoleOutputCharacterA(out, ' ', cells, cell(0, 0), &done);
    FillConsoleOutputAttribute(out, info.wAttributes, cells, cell(0, 0), &done);
    SetConsoleCursorPosition(out, cell(0, 0));
    output_used = true;
}

void screen_goto(uint16_t column, uint16_t row) {
    SetConsoleCursorPosition(screen(), cell(column, row));
    if (row > bottom_row_written) bottom_row_written = row;
    output_used = true;
}

void screen_write(const char *text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
    output_used = true;
}

// Ctrl+C is a key like any other while the read waits: processed input, which would turn it
// into a console control event, is off until the read returns.
int key_read() {
    DWORD mode = 0;
    if (!GetConsoleMode(keyboard, &mode)) return KEY_LOST;
    mode_before_read = mode;
    read_in_progress = true;
    SetConsoleMode(keyboard, mode & ~static_cast<DWORD>(ENABLE_PROCESSED_INPUT));
    const int code = _getch();
    if (read_in_progress.exchange(false)) SetConsoleMode(keyboard, mode);
    if (code != EOF) return code;
    return GetConsoleMode(keyboard, &mode) ? KEY_FAILED : KEY_LOST;
}

// Every wait reads until ESC, SPACE or Q, never a key's lead code alone: the C runtime holds
// no second code of a key here, only the console's input buffer holds keys.
void key_discard() {
    FlushConsoleInputBuffer(keyboard);
}
