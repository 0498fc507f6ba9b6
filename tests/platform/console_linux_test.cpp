#include "platform/console.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>
#include <vector>

namespace {

const std::string PAD_ON = "\x1b[?1h\x1b=", PAD_OFF = "\x1b[?1l\x1b>";

int report_fd = -1, go_fd = -1;
void report_keys(int count) {
    for (int i = 0; i < count; ++i) dprintf(report_fd, "%d,", key_read());
}
void hold() {
    char byte;
    dprintf(report_fd, "|");
    if (read(go_fd, &byte, 1) != 1) _exit(91);
}

// Where the test waits before it types a step's keys ("" lets a held child go on).
enum Wait {
    IN_KEY_READ = 0x80,
    HELD = 0x100,
    SHOWN = 0x2000, // its drawing read: a signal drops unread output; a key ends a redraw
    HELD_SHOWN = HELD | SHOWN,
    READ_SHOWN = IN_KEY_READ | SHOWN,
    TYPED = 0x200,
    PIECE_GAP = 0x400, // inside the console's ESC wait; 40 ms late is run again
    HANG_UP = IN_KEY_READ | 0x800,
    INTERRUPT = IN_KEY_READ | 0x1000,
    RESIZED = 0x4000,
    HELD_RESIZED = HELD | RESIZED,
    READ_RESIZED = IN_KEY_READ | RESIZED
};
struct Case {
    const char *term;
    void (*child)();
    std::vector<std::pair<Wait, std::string>> steps;
    std::string screen, reported;
    int status;
};

// clang-format off
const std::vector<Case> CASES = {
    {"xterm", [] { report_keys(10); },
     {{IN_KEY_READ, "\x1b"}, {PIECE_GAP, "["}, {PIECE_GAP, "Aq\x03\x1bOw\x1bOs\r\x1b"}},
     PAD_ON + PAD_OFF, "drawing,224,72,113,3,0,71,0,81,13,27,", 0},
    // Keys typed in a long step kept, no echo; Ctrl+C ends, the prompt below the lowest row.
    {"xterm", [] { screen_goto(1, 30); screen_write("X"); hold(); report_keys(2); hold(); },
     {{HELD, "ab"}, {TYPED, ""}, {HELD_SHOWN, "\x03"}},
     PAD_ON + "\x1b[31;2HX" + PAD_OFF + "\x1b[25;1H\r\n\r\n\r\n\r\n", "drawing,|97,98,|",
     W_EXITCODE(0, SIGINT)},
    // A discard drops keys typed, read past a key, or owed as its second code.
    {"xterm", [] { report_keys(1); hold(); key_discard(); report_keys(1); },
     {{IN_KEY_READ, "\x1b[Aq"}, {HELD, "xy"}, {TYPED, ""}, {IN_KEY_READ, "b"}},
     PAD_ON + PAD_OFF, "drawing,224,|98,", 0},
    // Row 22 on 20 rows moves up to 17; grown back, all is drawn again.
    {"xterm",
     [] {
         screen_goto(1, 3), screen_write("A"), hold();
         screen_goto(1, 22), screen_write("B"), report_keys(1);
     },
     {{HELD_RESIZED, "20"}, {READ_RESIZED, "28"}, {READ_SHOWN, "q"}},
     PAD_ON + "\x1b[4;2HA\x1b[18;2H\x1b[KB" + "\x1b[H\x1b[2J\x1b[4;1H A\x1b[23;1H B\x1b[23;3H" +
         PAD_OFF + "\x1b[25;1H\r\n",
     "drawing,|113,", 0},
    {nullptr, [] { screen_write("X"); report_keys(2); }, {}, "", "text only,X-2,-2,\n", 0},
    {"some-unknown-terminal", [] { report_keys(3); },
     {{INTERRUPT, ""}, {IN_KEY_READ, "q"}, {HANG_UP, ""}}, "", "text only,-1,113,-2,", 0},
};
// clang-format on

std::string modes(int terminal) {
    termios found{};
    tcgetattr(terminal, &found);
    return {reinterpret_cast<const char *>(&found), sizeof found};
}

// Blocked in the key read's ppoll, every typed key taken (a read may be a hold already woken).
bool in_key_read(pid_t pid, int slave) {
    std::FILE *file = std::fopen(("/proc/" + std::to_string(pid) + "/syscall").c_str(), "r");
    int number = -1, unread = -1;
    if (file && std::fscanf(file, "%d", &number) != 1) number = -1;
    if (file) std::fclose(file);
    return number == SYS_ppoll && ioctl(slave, FIONREAD, &unread) == 0 && unread == 0;
}

// False: too late to judge.
bool run_case(const Case &c) {
    int master, slave, report_pipe[2], go[2], unread = 0, status = 0;
    winsize size{28, 80, 0, 0};
    if (pipe(report_pipe) != 0 || pipe(go) != 0 ||
        openpty(&master, &slave, nullptr, nullptr, &size) != 0)
        std::abort();
    const std::string found = modes(slave);
    std::string screen, reported;
    const auto read_screen = [&](size_t until) {
        char bytes[256];
        pollfd out{master, POLLIN, 0};
        for (ssize_t got; master >= 0 && screen.size() < until && poll(&out, 1, 9000) == 1 &&
                          (got = read(master, bytes, sizeof bytes)) > 0;)
            screen.append(bytes, static_cast<size_t>(got));
    };
    alarm(20);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        report_fd = report_pipe[1];
        go_fd = go[0];
        if (close(master) != 0 || login_tty(slave) != 0) _exit(92);
        for (const int number : {SIGINT, SIGQUIT, SIGTERM}) // ignored by a runner
            signal(number, SIG_DFL);
        signal(SIGHUP, SIG_IGN);
        signal(SIGURG, [](int) {}); // caught, so that it interrupts a read
        if (!c.term && (dup2(report_fd, 1) < 0 || ioctl(0, TIOCNOTTY) != 0)) _exit(93);
        dup2(open("/dev/null", O_RDONLY), 0);
        setenv("TERM", c.term ? c.term : "xterm", 1);
        dprintf(report_fd, "%s", console_open() ? "drawing," : "text only,");
        c.child();
        std::exit(0);
    }
    close(report_pipe[1]);
    bool judged = true;
    auto typed_at = std::chrono::steady_clock::now();
    for (const auto &[wait, keys] : c.steps) {
        for (char byte = 0; (wait & HELD ? byte != '|' : wait == HANG_UP && byte != ',') &&
                            read(report_pipe[0], &byte, 1) == 1;)
            reported += byte;
        if (wait & SHOWN) read_screen(c.screen.find(PAD_OFF));
        while (wait == TYPED && ioctl(slave, FIONREAD, &unread) == 0 && unread == 0) usleep(1000);
        if (wait == PIECE_GAP) usleep(15000);
        while ((wait & IN_KEY_READ) != 0 && !in_key_read(pid, slave)) usleep(1000);
        pollfd report{report_pipe[0], POLLIN, 0};
        for (char byte = 0; wait == INTERRUPT && reported.find("-1,") == std::string::npos;) {
            if (poll(&report, 1, 10) == 0)
                kill(pid, SIGURG);
            else if (read(report_pipe[0], &byte, 1) == 1)
                reported += byte;
        }
        if (wait == HANG_UP) close(master), master = -1;
        if (wait & RESIZED) {
            const winsize rows{static_cast<unsigned short>(std::stoi(keys)), 80, 0, 0};
            ioctl(master, TIOCSWINSZ, &rows);
        }
        if (wait == HANG_UP || wait == INTERRUPT || wait == READ_RESIZED) continue;
        const bool go_on = keys.empty() || wait == HELD_RESIZED;
        const int fd = go_on ? go[1] : master;
        const std::string bytes = go_on ? "g" : keys;
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        const auto now = std::chrono::steady_clock::now();
        judged = judged && (wait != PIECE_GAP || now - typed_at < std::chrono::milliseconds(40));
        typed_at = now;
    }
    waitpid(pid, &status, 0);
    alarm(0);
    if (master >= 0) {
        EXPECT_EQ(modes(slave), found) << "modes after the run";
    }
    close(slave);
    read_screen(std::string::npos);
    for (char byte; read(report_pipe[0], &byte, 1) == 1;) reported += byte;
    for (const int fd : {master, report_pipe[0], go[0], go[1]}) close(fd);
    if (judged) {
        EXPECT_EQ(screen + "|" + reported + "|" + std::to_string(status),
                  c.screen + "|" + c.reported + "|" + std::to_string(c.status));
    }
    return judged;
}

TEST(ConsoleLinux, OnAPseudoTerminal) {
    for (size_t i = 0; i < CASES.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        bool judged = false;
        for (int attempt = 0; attempt < 5 && !judged; ++attempt) judged = run_case(CASES[i]);
        EXPECT_TRUE(judged) << "every run too late";
    }
}

} // namespace
