#include "rehearse/supervise.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/sched.h>
#include <string>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include "rehearse/open_judge.h"
#include "rehearse/port_grant.h"
#include "rehearse/port_trap.h"
#include "rehearse/program_memory.h"
#include "rehearse/seal.h"

namespace {

// The signals a program takes from its terminal or a shell, and their actions before
// supervise_hold_signals, given back to the program.
constexpr int PROGRAM_SIGNALS[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
struct sigaction saved_actions[std::size(PROGRAM_SIGNALS)];

volatile sig_atomic_t terms_received = 0;
volatile pid_t program_pid = 0;

void on_term(int) {
    terms_received = terms_received + 1;
    if (terms_received == 2 && program_pid > 0) kill(program_pid, SIGKILL);
}

bool refuse(const std::string &why) {
    port_grant.refusal = why;
    return false;
}

bool refuse_unlisted(const __ptrace_syscall_info &info) {
    return refuse(seal_unlisted_call(info.arch, info.seccomp.nr, info.seccomp.args));
}

// Sets the result of a call skipped at its seccomp stop.
void skip_call(pid_t pid, long result) {
    user_regs_struct regs{};
    ptrace(PTRACE_GETREGS, pid, nullptr, &regs);
    regs.orig_rax = ~0ull; // no such call: the kernel skips it
    regs.rax = static_cast<unsigned long long>(result);
    ptrace(PTRACE_SETREGS, pid, nullptr, &regs);
}

// At a seccomp stop: ioperm is recorded and skipped, to return success; iopl, which would
// open every port, is skipped and fails with EPERM; an open is judged at its exit; starting a
// thread or a process stops the run. Returns false when the run is refused.
bool on_judged_call(pid_t pid) {
    __ptrace_syscall_info info{};
    if (ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info) <= 0 ||
        info.op != PTRACE_SYSCALL_INFO_SECCOMP)
        return true;
    if (info.seccomp.ret_data == SEAL_UNLISTED) return refuse_unlisted(info);
    const auto *args = info.seccomp.args;
    switch (judged_call(info.arch, info.seccomp.nr)) {
    case CALL_IOPERM:
        skip_call(pid, 0);
        return grant_request(static_cast<uint32_t>(args[0]), static_cast<uint32_t>(args[1]),
                             args[2] != 0);
    case CALL_IOPL:
        skip_call(pid, -EPERM);
        return true;
    case CALL_OPEN:
    case CALL_OPENAT:
    case CALL_OPENAT2:
        return open_judge_call(pid, info);
    case CALL_CLONE:
        return refuse((args[0] & CLONE_THREAD) ? "the program started a thread (clone)"
                                               : "the program started a process (clone)");
    case CALL_CLONE3: {
        clone_args clone{};
        program_read(pid, args[0], &clone.flags, sizeof clone.flags);
        return refuse((clone.flags & CLONE_THREAD) ? "the program started a thread (clone3)"
                                                   : "the program started a process (clone3)");
    }
    case CALL_FORK:
        return refuse("the program started a process (fork)");
    case CALL_OTHER:
        return true;
    }
    return true;
}

bool is_stop_signal(int sig) {
    return sig == SIGSTOP || sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU;
}

ProgramEnd kill_refused(pid_t pid) {
    kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, __WALL) == pid && !WIFEXITED(status) && !WIFSIGNALED(status)) {
    }
    return {true, true, false, 0, 0};
}

} // namespace

void supervise_hold_signals() {
    struct sigaction ignore {
    }, count{};
    ignore.sa_handler = SIG_IGN;
    count.sa_handler = on_term; // no SA_RESTART: waitpid sees it
    for (size_t i = 0; i < std::size(PROGRAM_SIGNALS); ++i) {
        const int sig = PROGRAM_SIGNALS[i];
        sigaction(sig, sig == SIGTERM ? &count : &ignore, &saved_actions[i]);
    }
}

pid_t supervise_start(char *const argv[], int output) {
    // The child waits on the gate until it is traced, so that its exec is already seen.
    int gate[2];
    if (pipe2(gate, O_CLOEXEC) != 0) return -1;
    prctl(PR_SET_DUMPABLE, 1, 0, 0, 0); // inherited by the child, so that it can be traced
    const pid_t pid = fork();
    if (pid == 0) {
        close(gate[1]);
        for (size_t i = 0; i < std::size(PROGRAM_SIGNALS); ++i)
            sigaction(PROGRAM_SIGNALS[i], &saved_actions[i], nullptr);
        if (output >= 0) dup2(output, STDOUT_FILENO);
        char go;
        if (read(gate[0], &go, 1) != 0) _exit(127);
        if (!seal_program()) {
            std::fprintf(stderr, "ciflash-rehearse: cannot seal the program: %s\n",
                         std::strerror(errno));
            _exit(126);
        }
        execvp(argv[0], argv);
        std::fprintf(stderr, "ciflash-rehearse: cannot run %s: %s\n", argv[0],
                     std::strerror(errno));
        _exit(errno == ENOENT ? 127 : 126);
    }
    close(gate[0]);
    const long options = PTRACE_O_EXITKILL | PTRACE_O_TRACEEXEC | PTRACE_O_TRACESECCOMP |
                         PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACECLONE | PTRACE_O_TRACEFORK |
                         PTRACE_O_TRACEVFORK;
    if (pid > 0 && ptrace(PTRACE_SEIZE, pid, nullptr, options) != 0) {
        std::fprintf(stderr, "ciflash-rehearse: cannot trace the program: %s\n",
                     std::strerror(errno));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(gate[1]);
        return -1;
    }
    // Non-dumpable from before the program starts, the supervisor can be neither traced nor
    // read by it.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    close(gate[1]);
    program_pid = pid;
    return pid;
}

ProgramEnd supervise_run(pid_t pid) {
    bool started = false;
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, __WALL) != pid) {
            if (errno == EINTR) continue;
            return {started, false, false, 1, 0};
        }
        if (WIFEXITED(status)) return {started, false, false, WEXITSTATUS(status), 0};
        if (WIFSIGNALED(status)) {
            const int sig = WTERMSIG(status);
            return {started, false, terms_received >= 2 && sig == SIGKILL, 128 + sig, sig};
        }
        const int sig = WSTOPSIG(status);
        const int event = status >> 16;
        int deliver = 0;
        if (event == PTRACE_EVENT_SECCOMP) {
            if (!on_judged_call(pid)) return kill_refused(pid);
        } else if (event == PTRACE_EVENT_EXEC) {
            started = true;
        } else if (event == PTRACE_EVENT_CLONE || event == PTRACE_EVENT_FORK ||
                   event == PTRACE_EVENT_VFORK) {
            // Refused at the call already; should one slip through, it is traced and ended.
            unsigned long child = 0;
            ptrace(PTRACE_GETEVENTMSG, pid, nullptr, &child);
            kill(static_cast<pid_t>(child), SIGKILL);
            refuse("the program started a thread or a process");
            return kill_refused(pid);
        } else if (event == PTRACE_EVENT_STOP && is_stop_signal(sig)) {
            // A group stop (Ctrl+Z, SIGSTOP): the program stays stopped until SIGCONT.
            ptrace(PTRACE_LISTEN, pid, nullptr, nullptr);
            continue;
        } else if (sig == (SIGTRAP | 0x80)) {
            if (!open_judge_exit(pid)) return kill_refused(pid);
        } else if (event == 0) {
            const PortTrap trap = sig == SIGSEGV ? port_trap_serve(pid) : TRAP_NOT_PORT;
            if (trap == TRAP_REFUSED) return kill_refused(pid);
            if (trap == TRAP_NOT_PORT) deliver = sig;
        }
        ptrace(open_judge_pending() ? PTRACE_SYSCALL : PTRACE_CONT, pid, nullptr, deliver);
    }
}
