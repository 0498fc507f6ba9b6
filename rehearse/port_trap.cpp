#include "rehearse/port_trap.h"

#include <cerrno>
#include <csignal>
#include <sys/ptrace.h>
#include <sys/user.h>

#include "link/port.h"
#include "rehearse/port_grant.h"

bool port_instruction_decode(uint8_t opcode, uint8_t imm8, uint16_t dx, PortInstruction *out) {
    switch (opcode) {
    case 0xEC:
        *out = {false, dx, 1};
        return true;
    case 0xEE:
        *out = {true, dx, 1};
        return true;
    case 0xE4:
        *out = {false, imm8, 2};
        return true;
    case 0xE6:
        *out = {true, imm8, 2};
        return true;
    default:
        return false;
    }
}

PortTrap port_trap_serve(pid_t pid) {
    // A port instruction without permission raises a general protection fault, which the
    // kernel reports as SI_KERNEL; a page fault or a SIGSEGV sent with kill() is not one.
    siginfo_t info{};
    if (ptrace(PTRACE_GETSIGINFO, pid, nullptr, &info) != 0 || info.si_code != SI_KERNEL)
        return TRAP_NOT_PORT;
    user_regs_struct regs{};
    if (ptrace(PTRACE_GETREGS, pid, nullptr, &regs) != 0) return TRAP_NOT_PORT;
    errno = 0;
    const long code = ptrace(PTRACE_PEEKTEXT, pid, regs.rip, nullptr);
    if (errno != 0) return TRAP_NOT_PORT;
    PortInstruction access{};
    if (!port_instruction_decode(static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8),
                                 static_cast<uint16_t>(regs.rdx), &access))
        return TRAP_NOT_PORT;

    if (!port_grant.checked && !grant_check_first_access(pid)) return TRAP_REFUSED;
    if (!grant_covers(access.port)) return TRAP_REFUSED;
    if (access.write) {
        port_write(access.port, static_cast<uint8_t>(regs.rax));
    } else {
        regs.rax = (regs.rax & ~0xFFull) | port_read(access.port); // `in al` sets AL alone
    }
    regs.rip += access.length;
    return ptrace(PTRACE_SETREGS, pid, nullptr, &regs) == 0 ? TRAP_SERVED : TRAP_NOT_PORT;
}
