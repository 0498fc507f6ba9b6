// The console on pseudo-terminals: each case runs in a child process whose controlling
// terminal is a fresh pty; the test types into the pty and reads exactly what the child
// put on its screen. The child reports key codes through a pipe. The pty runs in packet
// mode, which also tells when the child switches flow control off, that is when it has
// entered a key read.
#include "default_signals.h"
#include "platform/console.h"
#include "platform/process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

// xterm's terminfo strings, as a terminal receives them.
const std::string KEYPAD_ON = "\x1b[?1h\x1b=";
const std::string KEYPAD_OFF = "\x1b[?1l\x1b>";
const std::string CLEAR = "\x1b[H\x1b[2J";
const std::string BELOW_SCREEN = "\x1b[25;1H"; // row 24 + 1, column 0 + 1

// Only a guard against a hung child; no case depends on it.
constexpr int HANG_GUARD_MS = 10000;
bool guard_expired = false;

struct Child {
    pid_t pid;
    int terminal; // the pty master: what the test types, and the child's screen
    int report;   // what the child reports
    int go;       // lets the child go on
    std::string screen;
};

// In the child: report, and wait for the test.
void report(int fd, const std::string &text) {
    if (write(fd, text.data(), text.size()) < 0) _exit(90);
}
void report_codes(int fd, int count) {
    std::string codes;
    for (int i = 0; i < count; ++i) codes += std::to_string(key_read()) + ",";
    report(fd, codes);
}
void wait_for_go(int fd) {
    char byte;
    if (read(fd, &byte, 1) != 1) _exit(91);
}

template <typename Body> Child start(const char *term, Body body) {
    guard_expired = false;
    int report_pipe[2];
    int go_pipe[2];
    if (pipe(report_pipe) != 0 || pipe(go_pipe) != 0) std::abort();
    std::fflush(nullptr); // nothing of the test's own output may reach the child's screen
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid < 0) std::abort();
    if (pid == 0) {
        close(report_pipe[0]);
        close(go_pipe[1]);
        default_ending_signals();
        setenv("TERM", term, 1);
        body(report_pipe[1], go_pipe[0]);
        _exit(0);
    }
    close(report_pipe[1]);
    close(go_pipe[0]);
    int packet_mode = 1;
    if (ioctl(terminal, TIOCPKT, &packet_mode) != 0) std::abort();
    return {pid, terminal, report_pipe[0], go_pipe[1], {}};
}

void type(const Child &child, const std::string &keys) {
    ASSERT_EQ(write(child.terminal, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
}
void let_go(const Child &child) {
    ASSERT_EQ(write(child.go, "g", 1), 1);
}

bool wait_readable(int fd) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, HANG_GUARD_MS) == 1) return true;
    ADD_FAILURE() << "the child hangs";
    guard_expired = true;
    return false;
}

// Reads until `count` bytes came, or to the end when count is 0.
std::string read_from(int fd, size_t count = 0) {
    std::string text;
    while ((count == 0 || text.size() < count) && wait_readable(fd)) {
        char buffer[256];
        const size_t wanted = count == 0 ? sizeof buffer : count - text.size();
        const ssize_t got = read(fd, buffer, wanted < sizeof buffer ? wanted : sizeof buffer);
        if (got <= 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

// One packet from the pty: screen bytes are added to the child's screen. Returns the
// packet's status byte (0 for screen bytes), or -1 once the child is gone (EIO).
int read_packet(Child &child) {
    if (!wait_readable(child.terminal)) return -1;
    char packet[256];
    const ssize_t got = read(child.terminal, packet, sizeof packet);
    if (got <= 0) return -1;
    if (packet[0] == TIOCPKT_DATA) child.screen.append(packet + 1, static_cast<size_t>(got - 1));
    return static_cast<unsigned char>(packet[0]);
}

// Waits for a packet with `flag`: TIOCPKT_NOSTOP when the child has switched flow control
// off (it is in a key read), TIOCPKT_FLUSHREAD when a signal key has been taken as a signal.
void wait_for_status(Child &child, int flag) {
    for (;;) {
        const int status = read_packet(child);
        if (status < 0 || (status & flag) != 0) return;
    }
}

// Waits until the terminal has taken in what was typed: the pty, opened a second time,
// has input to read (it is not read here).
void wait_until_typed(const Child &child) {
    const int terminal = open(ptsname(child.terminal), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    wait_readable(terminal);
    close(terminal);
}

struct Ending {
    std::string screen;
    std::string reported;
    int status;
};

Ending finish(Child &child) {
    while (read_packet(child) >= 0) {
    }
    Ending ending{child.screen, read_from(child.report), -1};
    if (guard_expired) kill(child.pid, SIGKILL);
    waitpid(child.pid, &ending.status, 0);
    close(child.terminal);
    close(child.report);
    close(child.go);
    return ending;
}

TEST(ConsoleLinux, DrawsThroughTerminfoAndLeavesThePromptBelowTheScreen) {
    Child child = start("xterm", [](int report_fd, int) {
        report(report_fd, console_open() ? "drawing," : "text only,");
        screen_clear();
        screen_goto(1, 3);
        screen_write("INITIALISATION");
        screen_goto(1, 24);
        screen_write("EXIT WITH 'Q'");
        console_restore();
        console_restore();
    });
    const Ending ending = finish(child);
    EXPECT_EQ(ending.reported, "drawing,");
    EXPECT_EQ(ending.screen, KEYPAD_ON + CLEAR + "\x1b[4;2HINITIALISATION" +
                                 "\x1b[25;2HEXIT WITH 'Q'" + KEYPAD_OFF + BELOW_SCREEN + "\r\n");
    EXPECT_TRUE(WIFEXITED(ending.status) && WEXITSTATUS(ending.status) == 0);
}

TEST(ConsoleLinux, RowsWrittenBelowRow24PushThePromptFurtherDown) {
    Child child = start("xterm", [](int, int) {
        console_open();
        screen_goto(1, 26);
        screen_write("7th item");
        process_exit(0);
    });
    const Ending ending = finish(child);
    EXPECT_EQ(ending.screen,
              KEYPAD_ON + "\x1b[27;2H7th item" + KEYPAD_OFF + BELOW_SCREEN + "\r\n\r\n\r\n");
}

TEST(ConsoleLinux, KeysComeFromTheTerminalAsPcCodesWithoutEcho) {
    Child child = start("xterm", [](int report_fd, int go_fd) {
        const int nothing = open("/dev/null", O_RDONLY);
        dup2(nothing, STDIN_FILENO); // keys must not come from standard input
        console_open();
        wait_for_go(go_fd);
        report_codes(report_fd, 11);
        console_restore();
    });
    let_go(child);
    wait_for_status(child, TIOCPKT_NOSTOP); // Ctrl+C must find the signal keys off
    // q, Ctrl+C, Page Down, keypad Page Down (terminfo kc3), Alt+F10, an unknown key,
    // Enter, SPACE, then ESC alone.
    type(child, "q\x03\x1b[6~\x1bOs\x1b[21;3~\x1b[99~\r \x1b");
    const Ending ending = finish(child);
    EXPECT_EQ(ending.reported, "113,3,224,81,0,81,0,113,13,32,27,");
    EXPECT_EQ(ending.screen, KEYPAD_ON + KEYPAD_OFF);
    EXPECT_TRUE(WIFEXITED(ending.status) && WEXITSTATUS(ending.status) == 0);
}

TEST(ConsoleLinux, KeysTypedDuringALongStepLeaveNoTraceAndRestoreGivesBackTheModes) {
    Child child = start("xterm", [](int report_fd, int go_fd) {
        termios before;
        termios after;
        tcgetattr(STDIN_FILENO, &before);
        console_open();
        report(report_fd, "ready,");
        wait_for_go(go_fd);
        report_codes(report_fd, 2);
        console_restore();
        tcgetattr(STDIN_FILENO, &after);
        const bool same = before.c_lflag == after.c_lflag && before.c_iflag == after.c_iflag &&
                          before.c_cc[VMIN] == after.c_cc[VMIN];
        report(report_fd, same ? "modes back" : "modes changed");
    });
    EXPECT_EQ(read_from(child.report, 6), "ready,");
    type(child, "ab");
    wait_until_typed(child);
    let_go(child);
    const Ending ending = finish(child);
    EXPECT_EQ(ending.reported, "97,98,modes back");
    EXPECT_EQ(ending.screen, KEYPAD_ON + KEYPAD_OFF);
}

TEST(ConsoleLinux, InterruptOutsideAKeyReadRestoresTheTerminalAndEndsTheRun) {
    Child child = start("xterm", [](int report_fd, int go_fd) {
        console_open();
        screen_write("X");
        report(report_fd, "ready,");
        wait_for_go(go_fd);
        report(report_fd, "not interrupted");
    });
    EXPECT_EQ(read_from(child.report, 6), "ready,");
    type(child, "\x03");
    const Ending ending = finish(child);
    EXPECT_EQ(ending.screen, KEYPAD_ON + "X" + KEYPAD_OFF + BELOW_SCREEN + "\r\n");
    EXPECT_TRUE(WIFSIGNALED(ending.status) && WTERMSIG(ending.status) == SIGINT);
    EXPECT_EQ(ending.reported, "");
}

TEST(ConsoleLinux, InterruptDuringTheShieldTakesEffectAtItsEnd) {
    Child child = start("xterm", [](int report_fd, int go_fd) {
        console_open();
        process_shield_begin();
        report(report_fd, "ready,");
        wait_for_go(go_fd);
        report(report_fd, "shielded,");
        process_shield_end();
        report(report_fd, "after the shield");
    });
    EXPECT_EQ(read_from(child.report, 6), "ready,");
    type(child, "\x03");
    wait_for_status(child, TIOCPKT_FLUSHREAD);
    let_go(child);
    const Ending ending = finish(child);
    EXPECT_EQ(ending.reported, "shielded,");
    EXPECT_EQ(ending.screen, KEYPAD_ON + KEYPAD_OFF);
    // Ended through the normal exit, with the shell's code for an interrupt.
    EXPECT_TRUE(WIFEXITED(ending.status) && WEXITSTATUS(ending.status) == 128 + SIGINT);
}

TEST(ConsoleLinux, HungUpTerminalLosesTheKeysForGood) {
    Child child = start("xterm", [](int report_fd, int) {
        signal(SIGHUP, SIG_IGN);
        console_open();
        report(report_fd, "ready,");
        report_codes(report_fd, 2);
    });
    EXPECT_EQ(read_from(child.report, 6), "ready,");
    close(child.terminal);
    EXPECT_EQ(read_from(child.report), "-2,-2,");
    int status = 0;
    ASSERT_EQ(waitpid(child.pid, &status, 0), child.pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(child.report);
    close(child.go);
}

TEST(ConsoleLinux, UnknownTerminalStillGetsTextAndKeys) {
    Child child = start("ciflash-unknown-terminal", [](int report_fd, int) {
        report(report_fd, console_open() ? "drawing," : "text only,");
        screen_clear();
        screen_goto(1, 3);
        screen_write("INITIALISATION");
        report_codes(report_fd, 2);
        console_restore();
    });
    EXPECT_EQ(read_from(child.report, 10), "text only,");
    type(child, "\x1b[6~");
    const Ending ending = finish(child);
    EXPECT_EQ(ending.reported, "224,81,");
    EXPECT_EQ(ending.screen, "INITIALISATION\r\n");
}

TEST(ConsoleLinux, WithoutATerminalTextIsPlainAndKeysAreLost) {
    int output[2];
    ASSERT_EQ(pipe(output), 0);
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setsid(); // no controlling terminal any more
        setenv("TERM", "xterm", 1);
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        const bool drawing = console_open();
        screen_clear();
        screen_goto(1, 3);
        screen_write("INITIALISATION");
        const bool lost = key_read() == KEY_LOST && key_read() == KEY_LOST;
        process_exit(!drawing && lost ? 0 : 1);
    }
    close(output[1]);
    EXPECT_EQ(read_from(output[0]), "INITIALISATION\n");
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(output[0]);
}

} // namespace
