// Sealing the program under rehearsal, in its process before its exec: it can never gain port
// access nor any capability, and it makes only the system calls of an allow-list; some of them
// stop it for the supervisor to judge.
#pragma once
#include <cstdint>
#include <string>

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

// The data of the filter's stop at a call outside the allow-list (SECCOMP_RET_DATA); a judged
// call stops with 0.
constexpr uint16_t SEAL_UNLISTED = 1;

JudgedCall judged_call(uint32_t arch, uint64_t nr);

// The refusal of a call outside the allow-list: "the program called NAME(ARGUMENTS), ...".
std::string seal_unlisted_call(uint32_t arch, uint64_t nr, const uint64_t args[6]);

// Closes every descriptor above 2, empties every capability set, sets no_new_privs and
// installs the allow-list's filter. False when a step failed (errno says why).
bool seal_program();
