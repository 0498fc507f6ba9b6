// The console on pseudo-terminals. Each row runs a child whose controlling terminal is a fresh
// 80x28 pty, types into the pty once the child has reached a given point, and compares exactly
// what the child put on its screen, what it reported through a pipe, how it ended, and the
// terminal modes it left behind, which must be the ones it found, however it ended.
#include "default_signals.h"
#include "platform/console.h"
#include "platform/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>
#include <vector>

namespace {

// xterm's terminfo strings, as the terminal receives them.
const std::string KEYPAD_ON = "\x1b[?1h\x1b=";
const std::string KEYPAD_OFF = "\x1b[?1l\x1b>";
const std::string BELOW_SCREEN = "\x1b[25;1H"; // row 24 + 1, column 0 + 1
constexpr unsigned HANG_GUARD_S = 20; // only against a hung child: the test ends by SIGALRM
// The pause between the pieces of a key typed in pieces: far longer than a read takes, well
// inside the console's wait for the rest of an escape sequence (50 ms). A run in which the
// test itself typed the next piece JUDGE or more after the last proves nothing: repeated.
constexpr int PIECE_GAP_MS = 15;
constexpr std::chrono::milliseconds JUDGE{40};

// In the child.
int report_fd = -1;
int go_fd = -1;
void report(const std::string &text) {
    if (write(report_fd, text.data(), text.size()) < 0) _exit(90);
}
void report_open() {
    report(console_open() ? "drawing," : "text only,");
}
void report_keys(int count) {
    for (int i = 0; i < count; ++i) report(std::to_string(key_read()) + ",");
}
// A long step of the run: reports "|" and waits until the test lets it go on.
void hold() {
    report("|");
    char byte;
    if (read(go_fd, &byte, 1) != 1) _exit(91);
}
void draw_initialisation() {
    screen_clear();
    screen_goto(1, 3);
    screen_write("INITIALISATION");
}

enum Wait {
    IN_KEY_READ = TIOCPKT_NOSTOP, // the pty says the child switched flow control off
    HELD = 0x100,                 // the child waits in hold()
    TYPED = 0x200,                // the terminal holds typed input nobody has read yet
    PIECE_GAP = 0x400,            // PIECE_GAP_MS after the last keys typed
};
// Once the child is there the test types `keys`; "" lets the child go on, and HANG_UP closes
// the terminal, with whatever it had not shown yet.
struct Step {
    Wait wait;
    const char *keys;
};
const char *const HANG_UP = nullptr;

struct Case {
    const char *name;
    const char *term;
    void (*child)();
    std::vector<Step> steps;
    std::string screen;
    std::string reported;
    int status; // as waitpid gives it
};

// clang-format off
const std::vector<Case> CASES = {
    {"draws through terminfo and leaves the prompt below the lowest row written", "xterm", [] {
         report_open();
         draw_initialisation();
         screen_goto(1, 24); screen_write("EXIT WITH 'Q'");
         screen_goto(1, 26); screen_write("7th item");
         screen_goto(1, 40); screen_write("!"); // below the terminal, whose cursor stays on row 27
         console_restore();
         process_exit(0); }, // restores once more, which does nothing now
     {}, KEYPAD_ON + "\x1b[H\x1b[2J\x1b[4;2HINITIALISATION\x1b[25;2HEXIT WITH 'Q'\x1b[27;2H7th item"
         "\x1b[41;2H!" + KEYPAD_OFF + BELOW_SCREEN + "\r\n\r\n\r\n\r\n", "drawing,", 0},
    // Up typed in three pieces, q, Ctrl+C, Page Down, the keypad's five keys from terminfo,
    // Alt+F10, an unknown key, Enter, SPACE, then ESC alone, which is ESC after a silence.
    {"reads keys from the terminal, not standard input, as PC codes", "xterm", [] {
         dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
         report_open(); report_keys(21); process_exit(0); },
     {{IN_KEY_READ, "\x1b"}, {PIECE_GAP, "["},
      {PIECE_GAP, "Aq\x03\x1b[6~\x1bOw\x1bOy\x1bOu\x1bOq\x1bOs\x1b[21;3~\x1b[99~\r \x1b"}}, KEYPAD_ON +
     KEYPAD_OFF, "drawing,224,72,113,3,224,81,0,71,0,73,0,76,0,79,0,81,0,113,13,32,27,", 0},
    {"keeps keys typed during a long step, without echo, and restores on Ctrl+C", "xterm",
     [] { report_open(); screen_write("X"); hold(); report_keys(2); hold(); },
     {{HELD, "ab"}, {TYPED, ""}, {HELD, "\x03"}}, KEYPAD_ON + "X" + KEYPAD_OFF + BELOW_SCREEN +
     "\r\n", "drawing,|97,98,|", W_EXITCODE(0, SIGINT)},
    {"loses the keys for good when the terminal hangs up", "xterm",
     [] { signal(SIGHUP, SIG_IGN); report_open(); report_keys(2); process_exit(0); },
     {{IN_KEY_READ, HANG_UP}}, "", "drawing,-2,-2,", 0},
    {"gives an unknown terminal plain text and still decodes its keys", "ciflash-unknown",
     [] { report_open(); draw_initialisation(); report_keys(2); process_exit(0); },
     {{IN_KEY_READ, "\x1b[6~"}}, "INITIALISATION\r\n", "text only,224,81,", 0},
    {"writes plain text to a pipe and loses the keys without a terminal", "xterm", [] {
         dup2(report_fd, STDOUT_FILENO);
         signal(SIGHUP, SIG_IGN); // the session leader gives its terminal up
         ioctl(STDIN_FILENO, TIOCNOTTY);
         signal(SIGHUP, SIG_DFL);
         report_open(); draw_initialisation(); report_keys(2); process_exit(0); },
     {}, "", "text only,INITIALISATION-2,-2,\n", 0},
};
// clang-format on

std::string modes(int terminal) {
    termios found{};
    tcgetattr(terminal, &found);
    return {reinterpret_cast<const char *>(&found), sizeof found};
}

struct Run {
    int master; // what the test types, and the child's screen, in packet mode
    int slave;  // held by the test too, for the modes and the input nobody has read
    int report;
    std::string screen;
    std::string reported;
};

// Reads one packet from the pty, adding screen bytes to the screen. Returns its status byte
// (0 for screen bytes), or -1 when there is none.
int packet(Run &run) {
    char bytes[256];
    const ssize_t got = read(run.master, bytes, sizeof bytes);
    if (got <= 0) return -1;
    if (bytes[0] == TIOCPKT_DATA) run.screen.append(bytes + 1, static_cast<size_t>(got - 1));
    return static_cast<unsigned char>(bytes[0]);
}

void reach(Run &run, Wait wait) {
    char byte = 0;
    int unread = 0;
    switch (wait) {
    case HELD:
        while (byte != '|' && read(run.report, &byte, 1) == 1) run.reported += byte;
        break;
    case TYPED:
        while (ioctl(run.slave, FIONREAD, &unread) == 0 && unread == 0) usleep(1000);
        break;
    case PIECE_GAP:
        usleep(PIECE_GAP_MS * 1000);
        break;
    default:
        while ((packet(run) & wait) == 0) {
        }
    }
}

// Runs the case once; false when the test itself was too late to judge it.
bool run_case(const Case &c) {
    int report_pipe[2];
    int go_pipe[2];
    winsize size{28, 80, 0, 0};
    Run run{-1, -1, -1, "", ""};
    if (pipe(report_pipe) != 0 || pipe(go_pipe) != 0 ||
        openpty(&run.master, &run.slave, nullptr, nullptr, &size) != 0)
        std::abort();
    int packet_mode = 1;
    ioctl(run.master, TIOCPKT, &packet_mode);
    const std::string found = modes(run.slave);
    alarm(HANG_GUARD_S);
    std::fflush(nullptr); // nothing of the test's own output may reach the child's screen
    const pid_t pid = fork();
    if (pid == 0) {
        close(run.master);
        close(report_pipe[0]);
        close(go_pipe[1]);
        report_fd = report_pipe[1];
        go_fd = go_pipe[0];
        if (login_tty(run.slave) != 0) _exit(92);
        default_ending_signals();
        setenv("TERM", c.term, 1);
        c.child();
        _exit(93);
    }
    close(report_pipe[1]);
    close(go_pipe[0]);
    run.report = report_pipe[0];
    bool judged = true;
    auto typed_at = std::chrono::steady_clock::now();
    for (const Step &step : c.steps) {
        reach(run, step.wait);
        if (step.keys == HANG_UP) {
            close(run.master);
            run.master = -1;
            run.screen.clear();
        } else if (*step.keys == 0) {
            EXPECT_EQ(write(go_pipe[1], "g", 1), 1);
        } else {
            const ssize_t length = static_cast<ssize_t>(std::strlen(step.keys));
            EXPECT_EQ(write(run.master, step.keys, static_cast<size_t>(length)), length);
            const auto now = std::chrono::steady_clock::now();
            judged = judged && (step.wait != PIECE_GAP || now - typed_at < JUDGE);
            typed_at = now;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    alarm(0);
    // Once the test's own end of the terminal is closed too, the screen is read to its end.
    if (run.master >= 0) {
        EXPECT_EQ(modes(run.slave), found) << "terminal modes after the run";
    }
    close(run.slave);
    while (packet(run) >= 0) {
    }
    close(run.master);
    for (char byte; read(run.report, &byte, 1) == 1;) run.reported += byte;
    close(run.report);
    close(go_pipe[1]);
    if (!judged) return false;
    EXPECT_EQ(run.screen, c.screen);
    EXPECT_EQ(run.reported, c.reported);
    EXPECT_EQ(status, c.status);
    return true;
}

TEST(ConsoleLinux, OnAPseudoTerminal) {
    for (const Case &c : CASES) {
        SCOPED_TRACE(c.name);
        bool judged = false;
        for (int attempt = 0; attempt < 5 && !judged; ++attempt) judged = run_case(c);
        EXPECT_TRUE(judged) << "every run came too late to judge it";
    }
}

} // namespace
