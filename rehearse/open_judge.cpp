#include "rehearse/open_judge.h"

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <linux/audit.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/user.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

#include "rehearse/port_grant.h"
#include "rehearse/program_memory.h"
#include "rehearse/seal.h"

namespace {

constexpr unsigned long long CREATING = O_CREAT | O_TRUNC | O_EXCL;
constexpr char UNSEEN[] = "what the supervisor cannot see";

struct OpenJudge {
    std::vector<std::pair<dev_t, ino_t>> writable; // the history and the lock
    bool pending = false;                          // an open waits for its exit
    std::string call;                              // that open, as the refusal names it
} judge;

// A string of the program's memory (a path), at most one page.
std::string read_string(pid_t pid, uint64_t address) {
    char text[4097] = {};
    program_read(pid, address, text, 4096);
    return text;
}

// A path as the refusal quotes it: bytes outside printable ASCII as \xNN.
std::string quoted(const std::string &path) {
    std::string text = "\"";
    for (const char c : path) {
        char escaped[8];
        const bool plain = c >= ' ' && c <= '~' && c != '"' && c != '\\';
        std::snprintf(escaped, sizeof escaped, plain ? "%c" : "\\x%02X",
                      static_cast<unsigned char>(c));
        text += escaped;
    }
    return text + "\"";
}

std::string number(unsigned long long value, const char *format) {
    char text[24];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The controlling terminal of a process (its device number, 0 for none), from field 7 of
// /proc/PID/stat, after the name in parentheses.
unsigned long long controlling_terminal(const std::string &process) {
    std::ifstream stat("/proc/" + process + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    unsigned long long tty = 0;
    const size_t name_end = text.rfind(')');
    if (name_end != std::string::npos)
        std::sscanf(text.c_str() + name_end + 1, " %*c %*d %*d %*d %llu", &tty);
    return tty;
}

// Whether the program may write to the file: the supervisor's terminal (/dev/tty while it is
// the program's controlling terminal too), /dev/null, the history or the lock.
bool writable(pid_t pid, const struct stat &file) {
    if (S_ISCHR(file.st_mode)) {
        const unsigned long long terminal = controlling_terminal("self");
        if (file.st_rdev == makedev(1, 3) || (terminal != 0 && file.st_rdev == terminal))
            return true;
        return file.st_rdev == makedev(5, 0) && terminal != 0 &&
               controlling_terminal(std::to_string(pid)) == terminal;
    }
    for (const auto &[device, inode] : judge.writable)
        if (S_ISREG(file.st_mode) && file.st_dev == device && file.st_ino == inode) return true;
    return false;
}

// What the descriptor `fd` of the program gives it that it must not hold ("" when nothing),
// seen on a copy of it: the copy is the open file itself, whatever its name.
std::string forbidden(pid_t pid, int fd) {
    const int process = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    const int copy = process < 0 ? -1 : static_cast<int>(syscall(SYS_pidfd_getfd, process, fd, 0));
    struct stat file {};
    struct statfs filesystem {};
    char name[4096] = {};
    const int flags = copy < 0 ? -1 : fcntl(copy, F_GETFL);
    const bool seen =
        flags >= 0 && fstat(copy, &file) == 0 && fstatfs(copy, &filesystem) == 0 &&
        readlink(("/proc/self/fd/" + std::to_string(copy)).c_str(), name, sizeof name - 1) > 0;
    if (copy >= 0) close(copy);
    if (process >= 0) close(process);
    if (!seen) return UNSEEN;
    const std::string path = name;
    if (S_ISCHR(file.st_mode) && file.st_rdev == makedev(1, 4)) return "the I/O ports";
    if (S_ISCHR(file.st_mode) && file.st_rdev == makedev(1, 1)) return "the physical memory";
    if (S_ISCHR(file.st_mode) && file.st_rdev == makedev(1, 2)) return "the kernel's memory";
    if (filesystem.f_type == PROC_SUPER_MAGIC && path.ends_with("/mem"))
        return "a process's memory";
    if ((flags & O_ACCMODE) != O_RDONLY && !writable(pid, file))
        return "for writing what is not the terminal, /dev/null, its history or its lock";
    return "";
}

} // namespace

bool open_judge_allow_writing(const char *path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0664);
    if (fd < 0) fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat file {};
    const bool opened = fd >= 0 && fstat(fd, &file) == 0;
    if (fd >= 0) close(fd);
    if (opened) judge.writable.emplace_back(file.st_dev, file.st_ino);
    return opened;
}

bool open_judge_call(pid_t pid, const __ptrace_syscall_info &info) {
    const JudgedCall kind = judged_call(info.arch, info.seccomp.nr);
    const auto *args = info.seccomp.args;
    const bool at = kind != CALL_OPEN;
    judge.call = kind == CALL_OPEN ? "open(" : kind == CALL_OPENAT ? "openat(" : "openat2(";
    if (at) judge.call += std::to_string(static_cast<int>(args[0])) + ", ";
    judge.call += quoted(read_string(pid, args[at ? 1 : 0])) + ", ";
    if (kind == CALL_OPENAT2) {
        open_how how{};
        program_read(pid, args[2], &how, sizeof how);
        judge.call += "{" + number(how.flags, "0x%llX") + ", " + number(how.mode, "%#llo") + "})";
        if (how.flags & CREATING) {
            port_grant.refusal = "the program asked to create or truncate: " + judge.call;
            return false;
        }
    } else {
        const unsigned long long flags = args[at ? 2 : 1];
        judge.call += number(flags, "0x%llX") + ", " + number(args[at ? 3 : 2], "%#llo") + ")";
        if (flags & CREATING) {
            // The flags' register: open's second argument, openat's third (rsi, rdx; ecx, edx
            // for the 32-bit calls).
            user_regs_struct regs{};
            ptrace(PTRACE_GETREGS, pid, nullptr, &regs);
            auto &reg = at ? regs.rdx : info.arch == AUDIT_ARCH_X86_64 ? regs.rsi : regs.rcx;
            reg &= ~CREATING;
            ptrace(PTRACE_SETREGS, pid, nullptr, &regs);
        }
    }
    if (info.arch != AUDIT_ARCH_X86_64) judge.call += " (32-bit)";
    judge.pending = true;
    return true;
}

bool open_judge_pending() {
    return judge.pending;
}

bool open_judge_exit(pid_t pid) {
    judge.pending = false;
    __ptrace_syscall_info info{};
    const bool seen = ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info) > 0 &&
                      info.op == PTRACE_SYSCALL_INFO_EXIT;
    if (seen && (info.exit.is_error || info.exit.rval < 0)) return true; // nothing was opened
    const std::string what = seen ? forbidden(pid, static_cast<int>(info.exit.rval)) : UNSEEN;
    if (what.empty()) return true;
    port_grant.refusal = "the program opened " + what + ": " + judge.call;
    return false;
}
