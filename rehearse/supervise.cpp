#include "rehearse/supervise.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/audit.h>
#include <sys/ptrace.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include "rehearse/port_grant.h"
#include "rehearse/port_trap.h"

namespace {

// The port permission calls, by their numbers in the 64-bit and the 32-bit system call table.
constexpr unsigned long IOPERM_64 = 173, IOPL_64 = 172, IOPERM_32 = 101, IOPL_32 = 110;

// The result a skipped system call returns at its exit stop.
bool result_pending;
long pending_result;

void set_registers(pid_t pid, bool at_entry, long value) {
    user_regs_struct regs{};
    ptrace(PTRACE_GETREGS, pid, nullptr, &regs);
    (at_entry ? regs.orig_rax : regs.rax) = static_cast<unsigned long long>(value);
    ptrace(PTRACE_SETREGS, pid, nullptr, &regs);
}

// At a system call stop: ioperm is recorded and skipped, to return success; iopl, which would
// open every port, is skipped and fails with EPERM. Returns false when the run is refused.
bool on_syscall_stop(pid_t pid) {
    __ptrace_syscall_info info{};
    if (ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info) <= 0) return true;
    if (info.op == PTRACE_SYSCALL_INFO_EXIT && result_pending) {
        result_pending = false;
        set_registers(pid, false, pending_result);
        return true;
    }
    if (info.op != PTRACE_SYSCALL_INFO_ENTRY) return true;
    const bool wide = info.arch == AUDIT_ARCH_X86_64;
    const unsigned long nr = static_cast<unsigned long>(info.entry.nr);
    const bool ioperm = nr == (wide ? IOPERM_64 : IOPERM_32);
    if (!ioperm && nr != (wide ? IOPL_64 : IOPL_32)) return true;
    set_registers(pid, true, -1); // no such call: the kernel skips it
    result_pending = true;
    pending_result = ioperm ? 0 : -EPERM;
    const auto *args = info.entry.args;
    return !ioperm || grant_request(static_cast<uint32_t>(args[0]), static_cast<uint32_t>(args[1]),
                                    args[2] != 0);
}

bool is_stop_signal(int sig) {
    return sig == SIGSTOP || sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU;
}

ProgramEnd kill_refused(pid_t pid) {
    kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) == pid && !WIFEXITED(status) && !WIFSIGNALED(status)) {
    }
    return {true, 0, 0};
}

} // namespace

pid_t supervise_start(char *const argv[], const struct sigaction &interrupt,
                      const struct sigaction &quit) {
    // The child waits on the gate until it is traced, so that its exec is already seen.
    int gate[2];
    if (pipe2(gate, O_CLOEXEC) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(gate[1]);
        sigaction(SIGINT, &interrupt, nullptr);
        sigaction(SIGQUIT, &quit, nullptr);
        char go;
        if (read(gate[0], &go, 1) != 0) _exit(127);
        execvp(argv[0], argv);
        std::fprintf(stderr, "ciflash-rehearse: cannot run %s: %s\n", argv[0],
                     std::strerror(errno));
        _exit(errno == ENOENT ? 127 : 126);
    }
    close(gate[0]);
    const long options = PTRACE_O_EXITKILL | PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEEXEC;
    if (pid > 0 && ptrace(PTRACE_SEIZE, pid, nullptr, options) != 0) {
        std::fprintf(stderr, "ciflash-rehearse: cannot trace the program: %s\n",
                     std::strerror(errno));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(gate[1]);
        return -1;
    }
    close(gate[1]);
    return pid;
}

ProgramEnd supervise_run(pid_t pid) {
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, 0) != pid) {
            if (errno == EINTR) continue;
            return {false, 1, 0};
        }
        if (WIFEXITED(status)) return {false, WEXITSTATUS(status), 0};
        if (WIFSIGNALED(status)) return {false, 128 + WTERMSIG(status), WTERMSIG(status)};
        const int sig = WSTOPSIG(status);
        const int event = status >> 16;
        int deliver = 0;
        if (sig == (SIGTRAP | 0x80)) {
            if (!on_syscall_stop(pid)) return kill_refused(pid);
        } else if (event == PTRACE_EVENT_STOP && is_stop_signal(sig)) {
            // A group stop (Ctrl+Z, SIGSTOP): the program stays stopped until SIGCONT.
            ptrace(PTRACE_LISTEN, pid, nullptr, nullptr);
            continue;
        } else if (event == 0) {
            const PortTrap trap = sig == SIGSEGV ? port_trap_serve(pid) : TRAP_NOT_PORT;
            if (trap == TRAP_REFUSED) return kill_refused(pid);
            if (trap == TRAP_NOT_PORT) deliver = sig;
        }
        ptrace(PTRACE_SYSCALL, pid, nullptr, deliver);
    }
}
