#include "rehearse/seal.h"

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <span>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "rehearse/port_grant.h"

namespace {

// What the filter does with a call of the allow-list.
enum Rule : uint8_t {
    PASS,        // runs untouched
    JUDGE,       // stops for the supervisor
    OWN_PROCESS, // runs when its first argument is the program's own process id
    ARGUMENT_IN, // runs when the argument `arg` is one of `values`
    FAIL,        // does not run, and fails with `error`
};

struct Listed {
    uint32_t nr; // x86-64
    Rule rule;
    JudgedCall call = CALL_OTHER;
    uint8_t arg = 0;
    std::span<const uint32_t> values = {};
    uint16_t error = 0;
};

// The prctl options of ciflash's capability drop.
constexpr uint32_t PRCTL_OPTIONS[] = {PR_CAPBSET_READ, PR_CAPBSET_DROP, PR_CAP_AMBIENT,
                                      PR_SET_NO_NEW_PRIVS, PR_GET_NO_NEW_PRIVS};
// The record locks of the reader's lock, which name its holder.
constexpr uint32_t FCNTL_COMMANDS[] = {F_GETLK, F_SETLK};
// The terminal requests of ciflash's console: its modes, its size, and the discarding of keys
// typed before a screen.
constexpr uint32_t IOCTL_REQUESTS[] = {TCGETS, TCSETS, TIOCGWINSZ, TCFLSH};

// The x86-64 system calls of ciflash, its C and C++ libraries and the dynamic loader, in every
// ending of a run and with --help, --version and --history. Every other call, every x32 call
// (its numbers carry bit 30, so none is listed) and every 32-bit call stops the run.
constexpr Listed ALLOWED[] = {
    {SYS_read, PASS},
    {SYS_write, PASS},
    {SYS_pread64, PASS},
    {SYS_pwrite64, PASS},
    {SYS_lseek, PASS},
    {SYS_close, PASS},
    {SYS_newfstatat, PASS},
    {SYS_access, PASS},
    {SYS_poll, PASS},
    {SYS_ppoll, PASS},
    {SYS_flock, PASS},
    {SYS_fcntl, ARGUMENT_IN, CALL_OTHER, 1, FCNTL_COMMANDS},
    {SYS_ftruncate, PASS},
    {SYS_fsync, PASS},
    {SYS_ioctl, ARGUMENT_IN, CALL_OTHER, 1, IOCTL_REQUESTS},
    {SYS_open, JUDGE, CALL_OPEN},
    {SYS_openat, JUDGE, CALL_OPENAT},
    {SYS_openat2, JUDGE, CALL_OPENAT2},
    // The look-up of the user tries nscd first, then reads the files.
    {SYS_socket, FAIL, CALL_OTHER, 0, {}, EACCES},
    // The mode of a created history: the owner of any file may change it, root's included.
    {SYS_fchmod, FAIL, CALL_OTHER, 0, {}, EPERM},
    {SYS_brk, PASS},
    {SYS_mmap, PASS},
    {SYS_mprotect, PASS},
    {SYS_munmap, PASS},
    {SYS_mremap, PASS},
    {SYS_pkey_mprotect, PASS},
    {SYS_rt_sigaction, PASS},
    {SYS_rt_sigprocmask, PASS},
    {SYS_rt_sigpending, PASS},
    {SYS_rt_sigreturn, PASS},
    {SYS_restart_syscall, PASS},
    {SYS_tgkill, OWN_PROCESS},
    {SYS_clock_nanosleep, PASS},
    {SYS_execve, PASS},
    {SYS_arch_prctl, PASS},
    {SYS_set_tid_address, PASS},
    {SYS_set_robust_list, PASS},
    {SYS_rseq, PASS},
    {SYS_prlimit64, PASS},
    {SYS_getrandom, PASS},
    {SYS_getpid, PASS},
    {SYS_gettid, PASS},
    {SYS_getuid, PASS},
    {SYS_geteuid, PASS},
    {SYS_getgid, PASS},
    {SYS_getegid, PASS},
    {SYS_uname, PASS},
    {SYS_capget, PASS},
    {SYS_capset, PASS},
    {SYS_prctl, ARGUMENT_IN, CALL_OTHER, 0, PRCTL_OPTIONS},
    {SYS_exit_group, PASS},
    {SYS_ioperm, JUDGE, CALL_IOPERM},
    {SYS_iopl, JUDGE, CALL_IOPL},
    {SYS_clone, JUDGE, CALL_CLONE},
    {SYS_clone3, JUDGE, CALL_CLONE3},
    {SYS_fork, JUDGE, CALL_FORK},
    {SYS_vfork, JUDGE, CALL_FORK},
#ifdef CIFLASH_SANITIZED_PROGRAMS
    // The sanitizers' run-time library, in the programs of the sanitized build.
    {SYS_readlink, PASS},
    {SYS_sigaltstack, PASS},
    {SYS_madvise, PASS},
    {SYS_clock_gettime, PASS},
    {SYS_pipe2, PASS},
#endif
};

// The names of the x86-64 (64) and 32-bit (32) system calls, from the kernel's headers.
struct CallName {
    uint8_t bits;
    uint16_t nr;
    const char *name;
};
constexpr CallName CALL_NAMES[] = {
#include "call_names.inc"
};

constexpr uint32_t UNLISTED = SECCOMP_RET_TRACE | SEAL_UNLISTED;

sock_filter load(size_t offset) {
    return BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<uint32_t>(offset));
}
sock_filter ret(uint32_t action) {
    return BPF_STMT(BPF_RET | BPF_K, action);
}
sock_filter jump_unless(uint32_t value, size_t skip) {
    return BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, value, 0, static_cast<uint8_t>(skip));
}

// The allow-list as a filter: each listed call's number, then what it does.
std::vector<sock_filter> allow_list(uint32_t pid) {
    std::vector<sock_filter> filter = {
        load(offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        ret(UNLISTED),
        load(offsetof(seccomp_data, nr)),
    };
    for (const Listed &c : ALLOWED) {
        std::span<const uint32_t> values = c.values;
        if (c.rule == OWN_PROCESS) values = {&pid, 1};
        if (values.empty()) {
            filter.push_back(jump_unless(c.nr, 1));
            filter.push_back(ret(c.rule == JUDGE  ? SECCOMP_RET_TRACE
                                 : c.rule == FAIL ? SECCOMP_RET_ERRNO | c.error
                                                  : SECCOMP_RET_ALLOW));
            continue;
        }
        // The argument's low word: the kernel takes these arguments as 32-bit integers.
        filter.push_back(jump_unless(c.nr, 2 * values.size() + 2));
        filter.push_back(load(offsetof(seccomp_data, args) + 8 * c.arg));
        for (const uint32_t value : values) {
            filter.push_back(jump_unless(value, 1));
            filter.push_back(ret(SECCOMP_RET_ALLOW));
        }
        filter.push_back(ret(UNLISTED));
    }
    filter.push_back(ret(UNLISTED));
    return filter;
}

} // namespace

JudgedCall judged_call(uint32_t arch, uint64_t nr) {
    if (arch != AUDIT_ARCH_X86_64) return CALL_OTHER;
    for (const Listed &c : ALLOWED)
        if (nr == c.nr && c.rule == JUDGE) return c.call;
    return CALL_OTHER;
}

std::string seal_unlisted_call(uint32_t arch, uint64_t nr, const uint64_t args[6]) {
    const uint8_t bits = arch == AUDIT_ARCH_X86_64 ? 64 : 32;
    std::string call = bits == 32 ? "the 32-bit " : "";
    std::string name = "system call " + hex(nr);
    for (const CallName &n : CALL_NAMES)
        if (n.bits == bits && n.nr == nr) name = n.name;
    call += name + "(";
    for (int i = 0; i < 6; ++i) call += (i ? ", " : "") + hex(args[i]);
    return "the program called " + call + "), a system call outside the rehearsal's allow-list";
}

bool seal_program() {
    if (close_range(3, ~0u, 0) != 0) return false;
    // Without CAP_SETPCAP the bounding set stays, with nothing left to bound.
    for (int cap = 0; prctl(PR_CAPBSET_READ, cap, 0, 0, 0) >= 0; ++cap)
        if (prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0 && errno != EPERM) return false;
    // Emptying the inheritable and permitted sets empties the ambient one.
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capset, &header, none) != 0) return false;
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
    const std::vector<sock_filter> filter = allow_list(static_cast<uint32_t>(getpid()));
    const sock_fprog program{static_cast<unsigned short>(filter.size()),
                             const_cast<sock_filter *>(filter.data())};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
}
