// The files the program under rehearsal opens, judged by what each open gave it (the device and
// the inode behind the new descriptor), whatever the name it used: a symbolic link, a relative
// path or a node of its own. The I/O ports, the physical or kernel memory and any process's
// memory are never the program's; it writes only to the terminal, /dev/null, and the history
// and lock files handed to it. No open creates or truncates a file: those files are made by
// the supervisor beforehand.
#pragma once
#include <sys/ptrace.h>
#include <sys/types.h>

// Makes the regular file at `path` one the program may write, creating it when it is missing
// (mode 0664 less the umask; never through a symbolic link). False when it cannot be opened.
bool open_judge_allow_writing(const char *path);

// At the seccomp stop of an open, openat or openat2: notes the call for its exit and takes
// O_CREAT, O_TRUNC and O_EXCL out of its flags. False, with port_grant.refusal set, for an
// openat2 asking to create or truncate, whose flags lie in the program's memory.
bool open_judge_call(pid_t pid, const __ptrace_syscall_info &info);

// Whether a noted open waits for its exit: the program is resumed with PTRACE_SYSCALL.
bool open_judge_pending();

// At the syscall-exit stop of the noted open: judges the descriptor it returned. False, with
// port_grant.refusal set, when the program must not hold it.
bool open_judge_exit(pid_t pid);
