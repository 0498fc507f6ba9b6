#include "rehearse/seal.h"

#include <cerrno>
#include <cstddef>
#include <linux/audit.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <vector>

namespace {

struct CallNumbers {
    uint32_t x86_64;
    uint32_t i386;
    JudgedCall call;
};

constexpr CallNumbers JUDGED[] = {
    {173, 101, CALL_IOPERM}, {172, 110, CALL_IOPL},    {2, 5, CALL_OPEN},
    {257, 295, CALL_OPENAT}, {437, 437, CALL_OPENAT2}, {56, 120, CALL_CLONE},
    {435, 435, CALL_CLONE3}, {57, 2, CALL_FORK},       {58, 190, CALL_FORK},
};

constexpr uint32_t X32_CALL = 0x40000000; // the x32 ABI's calls: x86-64 numbers with this bit

} // namespace

JudgedCall judged_call(uint32_t arch, uint64_t nr) {
    const bool wide = arch == AUDIT_ARCH_X86_64;
    if (wide) nr &= ~uint64_t{X32_CALL};
    for (const CallNumbers &c : JUDGED)
        if (nr == (wide ? c.x86_64 : c.i386)) return c.call;
    return CALL_OTHER;
}

bool seal_program() {
    if (prctl(PR_CAPBSET_DROP, CAP_SYS_RAWIO, 0, 0, 0) != 0 && errno != EPERM) return false;
    if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0) return false;
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;

    // Another ABI, an x32 call or a judged call: traced; anything else runs untouched.
    std::vector<sock_filter> filter = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, X32_CALL, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE),
    };
    for (const CallNumbers &c : JUDGED) {
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, c.x86_64, 0, 1));
        filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE));
    }
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
}
