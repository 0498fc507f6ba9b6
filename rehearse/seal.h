// Sealing the program under rehearsal, in its process before its exec: it can never gain port
// access, and it stops for the supervisor only at the system calls the supervisor judges.
#pragma once
#include <cstdint>

// The system calls the supervisor judges.
enum JudgedCall : uint8_t {
    CALL_OTHER,
    CALL_IOPERM,
    CALL_IOPL,
    CALL_OPEN,    // open(path, flags, mode)
    CALL_OPENAT,  // openat(dirfd, path, flags, mode)
    CALL_OPENAT2, // openat2(dirfd, path, how, size)
    CALL_CLONE,   // clone(flags, ...)
    CALL_CLONE3,  // clone3(args, ...)
    CALL_FORK,    // fork and vfork
};

// The judged call of a system call number of the architecture (AUDIT_ARCH_*).
JudgedCall judged_call(uint32_t arch, uint64_t nr);

// Drops CAP_SYS_RAWIO from the bounding set (when the process may: without CAP_SETPCAP it
// holds no capability to keep from the program), clears the ambient set, sets no_new_privs and
// installs a seccomp filter that traces the judged calls and every call of another ABI. False
// when a step failed (errno says why).
bool seal_program();
