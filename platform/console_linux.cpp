// The console on a Linux terminal: drawn through terminfo on the normal screen, so the last
// screen stays visible above the shell prompt; keys from /dev/tty, whatever standard input is.
#include "platform/console.h"

#include "platform/key_decode.h"
#include "platform/process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

namespace {

// How long the terminal may stay silent after ESC before the ESC counts as the key itself.
constexpr int ESC_WAIT_MS = 50;
// The last row of the screens; at the end the cursor goes below it (and below any lower row
// written) so that the shell prompt never covers the last screen.
constexpr int LAST_SCREEN_ROW = 24;
constexpr int EXIT_LINE_FEEDS_MAX = 32;
// What the screens hold, kept to draw them again: every row the cursor may reach, and room
// for the longest identification line.
constexpr int SHADOW_ROWS = LAST_SCREEN_ROW + 1 + EXIT_LINE_FEEDS_MAX;
constexpr int SHADOW_COLUMNS = 320;

// A terminal control string, ready to be written from a signal handler.
struct Sequence {
    char bytes[128];
    size_t length;
};

struct Terminal {
    bool opened;
    bool drawing; // standard output is a terminal with cursor addressing
    const char *move;
    const char *clear;
    const char *clear_line;
    Sequence exit_place; // the cursor to column 0 of LAST_SCREEN_ROW
    int tty = -1;        // the terminal keys are read from
    bool keys_lost;
    termios found;      // the terminal modes as found, put back at the end
    termios run_modes;  // from console_open on: no echo, no line editing, no flow control
    termios read_modes; // during a key read also no signal keys
    Sequence keypad_on;
    Sequence keypad_off;
    KeyTable keys;
    uint8_t pending[4 * KEY_SEQUENCE_MAX]; // bytes read but not yet returned as a key
    size_t pending_length;
    int second_code = -1;                     // the scan code owed to the next key_read
    char shadow[SHADOW_ROWS][SHADOW_COLUMNS]; // the screens' cells, blanks never written 0
    int column, row;                          // the cursor on the screens, not the terminal
    bool shrunk; // smaller than the screens since the last time they were drawn in full
};
Terminal terminal;

volatile sig_atomic_t window_changed = 0;

// Read by console_restore, which may run in a signal handler.
volatile sig_atomic_t restore_due = 0;
volatile sig_atomic_t output_used = 0;
volatile sig_atomic_t bottom_row_written = 0;

// tputs, which also adds the padding the terminal needs, hands out the bytes of a control
// string one by one to a plain function: to standard output, or gathered in a Sequence.
int output_byte(int byte) {
    return std::putchar(byte);
}

void emit(const char *control) {
    if (control == nullptr) return;
    tputs(control, 1, output_byte);
    std::fflush(stdout);
}

Sequence *capture_target = nullptr;
bool capture_overflow = false;

int capture_byte(int byte) {
    Sequence &sequence = *capture_target;
    if (sequence.length < sizeof sequence.bytes) {
        sequence.bytes[sequence.length++] = static_cast<char>(byte);
    } else {
        capture_overflow = true;
    }
    return byte;
}

// The control string ready to write; empty when there is none or it does not fit.
Sequence render(const char *control) {
    Sequence sequence{};
    if (control == nullptr) return sequence;
    capture_target = &sequence;
    capture_overflow = false;
    tputs(control, 1, capture_byte);
    if (capture_overflow) sequence.length = 0;
    return sequence;
}

const char *capability(const char *name) {
    const char *value = tigetstr(name);
    return value == reinterpret_cast<const char *>(-1) ? nullptr : value;
}

void note_window_change(int) {
    window_changed = 1;
}

void redraw() {
    emit(terminal.clear);
    for (int row = 0; row < SHADOW_ROWS; ++row) {
        const char *cells = terminal.shadow[row];
        int length = SHADOW_COLUMNS;
        while (length > 0 && cells[length - 1] == 0) --length;
        if (length == 0) continue;
        emit(tiparm(terminal.move, row, 0));
        for (int column = 0; column < length; ++column)
            std::putchar(cells[column] ? cells[column] : ' ');
    }
    emit(tiparm(terminal.move, terminal.row, terminal.column));
}

// The terminal's rows, 0 when it tells none. Once it has been smaller than the screens, a
// terminal of their size again gets them in full: the rows drawn meanwhile stand elsewhere.
int follow_size() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0) return 0;
    if (size.ws_row < SCREEN_ROWS_MIN || size.ws_col < SCREEN_COLUMNS_MIN) {
        terminal.shrunk = true;
    } else if (terminal.shrunk) {
        terminal.shrunk = false;
        redraw();
    }
    return size.ws_row;
}

// Async-signal-safe.
void write_all(int fd, const char *bytes, size_t length) {
    while (length > 0) {
        const ssize_t written = write(fd, bytes, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        bytes += written;
        length -= static_cast<size_t>(written);
    }
}

void learn_terminal() {
    int status = 0;
    if (setupterm(nullptr, STDOUT_FILENO, &status) != 0) return;
    for (size_t i = 0; i < KEY_CAPABILITY_COUNT; ++i) {
        key_table_add(terminal.keys, capability(KEY_CAPABILITIES[i].name), KEY_CAPABILITIES[i].key);
    }
    terminal.keypad_on = render(capability("smkx"));
    terminal.keypad_off = render(capability("rmkx"));
    terminal.move = capability("cup");
    terminal.drawing = terminal.move != nullptr && isatty(STDOUT_FILENO) == 1;
    if (!terminal.drawing) return;
    terminal.clear = capability("clear");
    terminal.clear_line = capability("el");
    terminal.exit_place = render(tiparm(terminal.move, LAST_SCREEN_ROW, 0));
    struct sigaction action {};
    action.sa_handler = note_window_change;
    action.sa_flags = SA_RESTART; // only the key read's poll is interrupted
    sigaction(SIGWINCH, &action, nullptr);
}

void open_keyboard() {
    terminal.tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal.tty < 0) return;
    if (tcgetattr(terminal.tty, &terminal.found) != 0) {
        close(terminal.tty);
        terminal.tty = -1;
        return;
    }
    termios &run = terminal.run_modes;
    run = terminal.found;
    run.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN);
    run.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR); // Enter reads as 13
    // No flow control: Ctrl+S would freeze the output, and with it the write between frames.
    run.c_iflag &= ~static_cast<tcflag_t>(IXON);
    run.c_cc[VMIN] = 1;
    run.c_cc[VTIME] = 0;
    terminal.read_modes = run;
    terminal.read_modes.c_lflag &= ~static_cast<tcflag_t>(ISIG);
}

int keys_lost() {
    terminal.keys_lost = true;
    return KEY_LOST;
}

// The first code of the decoded key, keeping the second for the next key_read; -1 when
// the bytes were dropped.
int take_key(const KeyDecoding &decoding) {
    terminal.pending_length -= decoding.used;
    std::memmove(terminal.pending, terminal.pending + decoding.used, terminal.pending_length);
    if (decoding.count == 0) return -1;
    if (decoding.count == 2) terminal.second_code = decoding.codes[1];
    return decoding.codes[0];
}

// The signal mask while read_key waits: SIGWINCH is taken only there, so that none is missed
// between the check of the window's size and the wait.
sigset_t wait_mask;

int read_key() {
    constexpr timespec ESC_WAIT = {0, ESC_WAIT_MS * 1000000L};
    for (;;) {
        if (terminal.pending_length > 0) {
            const KeyDecoding decoding =
                key_decode(terminal.keys, terminal.pending, terminal.pending_length, true);
            if (decoding.status == KEY_DECODE_DONE) {
                const int code = take_key(decoding);
                if (code >= 0) return code;
                continue;
            }
        }
        // Block for the next key; within a sequence wait only briefly for its rest.
        pollfd ready{terminal.tty, POLLIN, 0};
        const int polled =
            ppoll(&ready, 1, terminal.pending_length == 0 ? nullptr : &ESC_WAIT, &wait_mask);
        if (polled < 0) return errno == EINTR ? KEY_FAILED : keys_lost();
        if (polled == 0) {
            const int code = take_key(
                key_decode(terminal.keys, terminal.pending, terminal.pending_length, false));
            if (code >= 0) return code;
            continue;
        }
        const ssize_t got = read(terminal.tty, terminal.pending + terminal.pending_length,
                                 sizeof terminal.pending - terminal.pending_length);
        if (got > 0) {
            terminal.pending_length += static_cast<size_t>(got);
        } else if (got < 0 && errno == EINTR) {
            return KEY_FAILED;
        } else {
            return keys_lost(); // end of file or I/O error: the terminal is gone
        }
    }
}

} // namespace

bool console_size_check(const char *program) {
    winsize size{};
    if (isatty(STDOUT_FILENO) != 1 || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return true;
    if (size.ws_col == 0 || size.ws_row == 0) return true; // a terminal that tells no size
    if (size.ws_col >= SCREEN_COLUMNS_MIN && size.ws_row >= SCREEN_ROWS_MIN) return true;
    std::fprintf(stderr,
                 "%s: the terminal is %ux%u; the screens need at least %dx%d.\n"
                 "Enlarge the terminal window, then start %s again.\n",
                 program, size.ws_col, size.ws_row, SCREEN_COLUMNS_MIN, SCREEN_ROWS_MIN, program);
    return false;
}

bool console_open() {
    if (terminal.opened) return terminal.drawing;
    terminal.opened = true;
    learn_terminal();
    open_keyboard();
    process_catch_signals();
    std::atexit(console_restore);
    restore_due = 1;
    if (terminal.tty >= 0) {
        tcsetattr(terminal.tty, TCSANOW, &terminal.run_modes);
        write_all(terminal.tty, terminal.keypad_on.bytes, terminal.keypad_on.length);
    }
    return terminal.drawing;
}

// The flag is cleared only at the end: a signal that interrupts a restore in progress
// makes its handler restore again in full before the process ends.
void console_restore() {
    if (restore_due == 0) return;
    if (terminal.tty >= 0) {
        tcsetattr(terminal.tty, TCSANOW, &terminal.found);
        write_all(terminal.tty, terminal.keypad_off.bytes, terminal.keypad_off.length);
    }
    if (output_used != 0) {
        int line_feeds = 1;
        if (terminal.drawing) {
            write_all(STDOUT_FILENO, terminal.exit_place.bytes, terminal.exit_place.length);
            if (bottom_row_written > LAST_SCREEN_ROW) {
                line_feeds += bottom_row_written - LAST_SCREEN_ROW;
            }
        }
        for (int i = 0; i < line_feeds && i < EXIT_LINE_FEEDS_MAX; ++i) {
            write_all(STDOUT_FILENO, "\n", 1);
        }
    }
    restore_due = 0;
}

void screen_clear() {
    if (!terminal.drawing) return;
    emit(terminal.clear);
    std::memset(terminal.shadow, 0, sizeof terminal.shadow);
    terminal.column = terminal.row = 0;
    output_used = 1;
}

void screen_goto(uint16_t column, uint16_t row) {
    if (!terminal.drawing) return;
    // On a terminal shorter than the screens (shrunk during the run) the rows that do not fit
    // move up together, so that the last row of the screens stays on the terminal's last row
    // and the outcome keeps its place above it; such a row is blanked before it is written.
    int target = row;
    const int rows = follow_size();
    if (rows > 0 && rows <= LAST_SCREEN_ROW && target >= rows)
        target = std::max(0, target + rows - (LAST_SCREEN_ROW + 1));
    emit(tiparm(terminal.move, target, static_cast<int>(column)));
    if (target != row) emit(terminal.clear_line);
    terminal.column = column;
    terminal.row = row;
    output_used = 1;
    // The terminal keeps the cursor on its last row when asked for one below it.
    const int reached = rows > 0 ? std::min(target, rows - 1) : target;
    if (reached > bottom_row_written) bottom_row_written = reached;
}

void screen_write(const char *text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
    output_used = 1;
    if (!terminal.drawing) return;
    for (; *text != '\0'; ++text) {
        if (*text == '\n') {
            terminal.column = 0;
            ++terminal.row;
        } else if (terminal.row < SHADOW_ROWS && terminal.column < SHADOW_COLUMNS) {
            terminal.shadow[terminal.row][terminal.column++] = *text;
        }
    }
}

int key_read() {
    if (terminal.second_code >= 0) {
        const int code = terminal.second_code;
        terminal.second_code = -1;
        return code;
    }
    if (terminal.tty < 0 || terminal.keys_lost) return KEY_LOST;
    tcsetattr(terminal.tty, TCSANOW, &terminal.read_modes);
    sigset_t resize;
    sigemptyset(&resize);
    sigaddset(&resize, SIGWINCH);
    sigprocmask(SIG_BLOCK, &resize, &wait_mask);
    int code;
    do { // a change of the window's size interrupts the wait for a key, not the key wait
        window_changed = 0;
        if (terminal.drawing) follow_size();
        code = read_key();
    } while (code == KEY_FAILED && window_changed != 0);
    sigprocmask(SIG_SETMASK, &wait_mask, nullptr);
    tcsetattr(terminal.tty, TCSANOW, &terminal.run_modes);
    return code;
}

void key_discard() {
    terminal.second_code = -1;
    terminal.pending_length = 0;
    if (terminal.tty >= 0) tcflush(terminal.tty, TCIFLUSH);
}
