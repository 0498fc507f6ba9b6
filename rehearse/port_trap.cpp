#include "rehearse/port_trap.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <sys/ptrace.h>
#include <sys/user.h>

#include "link/port.h"
#include "rehearse/port_grant.h"
#include "rehearse/program_memory.h"

namespace {

constexpr size_t MAX_INSTRUCTION = 15;      // the longest x86 instruction
constexpr uint64_t FLAT_64_BIT_CODE = 0x33; // the code segment of 64-bit user code on Linux

// Lock, repne, rep; the segments CS, SS, DS, ES, FS, GS; operand and address size.
constexpr uint8_t LEGACY_PREFIXES[] = {0xF0, 0xF2, 0xF3, 0x2E, 0x36, 0x3E,
                                       0x26, 0x64, 0x65, 0x66, 0x67};

bool is_legacy_prefix(uint8_t byte) {
    return std::find(std::begin(LEGACY_PREFIXES), std::end(LEGACY_PREFIXES), byte) !=
           std::end(LEGACY_PREFIXES);
}

// In another code segment (32-bit, or one of the program's own), the instruction lies at the
// segment's base plus RIP: the bytes at RIP need not be those the processor ran.
PortTrap refuse_segment(const user_regs_struct &regs) {
    port_grant.refusal = "the program faulted at " + hex(regs.rip) + " in the code segment " +
                         hex(regs.cs) + ", not the flat 64-bit one (" + hex(FLAT_64_BIT_CODE) + ")";
    return TRAP_REFUSED;
}

PortTrap refuse(const uint8_t *code, const PortInstruction &in, uint64_t address, uint16_t port,
                const char *why) {
    std::string bytes;
    for (size_t i = 0; i < in.length; ++i) {
        char text[4];
        std::snprintf(text, sizeof text, i ? " %02X" : "%02X", code[i]);
        bytes += text;
    }
    port_grant.refusal = "the program ran the port instruction " + bytes + " at " + hex(address) +
                         " on the I/O port " + hex(port) + ", " + why;
    return TRAP_REFUSED;
}

bool poke_register(pid_t pid, size_t offset, uint64_t value) {
    return ptrace(PTRACE_POKEUSER, pid, offset, value) == 0;
}

} // namespace

bool port_instruction_decode(const uint8_t *code, size_t size, PortInstruction *out) {
    size_t at = 0;
    while (at < size && is_legacy_prefix(code[at])) ++at;
    if (at < size && (code[at] & 0xF0) == 0x40) ++at; // REX
    if (at >= size || at >= MAX_INSTRUCTION) return false;
    const uint8_t opcode = code[at];
    const bool immediate = opcode >= 0xE4 && opcode <= 0xE7;
    const bool string = opcode >= 0x6C && opcode <= 0x6F;
    if (!immediate && !string && (opcode < 0xEC || opcode > 0xEF)) return false;
    const size_t length = at + 1 + (immediate ? 1 : 0);
    if (length > size || length > MAX_INSTRUCTION) return false;
    out->length = static_cast<uint8_t>(length);
    out->write = (opcode & 0x02) != 0;
    out->plain_byte = at == 0 && !string && (opcode & 0x01) == 0;
    out->through_dx = !immediate;
    out->imm8 = immediate ? code[at + 1] : 0;
    return true;
}

PortTrap port_trap_serve(pid_t pid) {
    // Any SIGSEGV that stops the program on a port instruction is taken for that instruction's
    // fault, whether the processor raised it or kill() sent it: the program reaches no port it
    // could not reach by running the instruction, and not asking the kernel which it was saves
    // a ptrace call at every access.
    user_regs_struct regs{};
    if (ptrace(PTRACE_GETREGS, pid, nullptr, &regs) != 0) return TRAP_NOT_PORT;
    if (regs.cs != FLAT_64_BIT_CODE) return refuse_segment(regs);
    // The bytes are read at every fault: the program may have rewritten them since the last.
    uint8_t code[MAX_INSTRUCTION] = {};
    PortInstruction access{};
    if (!port_instruction_decode(code, program_read(pid, regs.rip, code, sizeof code), &access))
        return TRAP_NOT_PORT;
    const uint16_t port = access.through_dx ? static_cast<uint16_t>(regs.rdx) : access.imm8;

    if (!port_grant.checked && !grant_check_first_access(pid)) return TRAP_REFUSED;
    if (!access.plain_byte)
        return refuse(code, access, regs.rip, port, "not a byte-wide in or out without prefix");
    if (!grant_covers(port))
        return refuse(code, access, regs.rip, port, "outside the windows it asked for");
    // Registers are written one by one: PTRACE_SETREGS would also rewrite the segment and
    // base registers, which costs more than two single writes.
    if (access.write) {
        port_write(port, static_cast<uint8_t>(regs.rax));
    } else {
        const uint64_t rax = (regs.rax & ~0xFFull) | port_read(port); // `in al` sets AL alone
        if (!poke_register(pid, offsetof(user_regs_struct, rax), rax)) return TRAP_NOT_PORT;
    }
    return poke_register(pid, offsetof(user_regs_struct, rip), regs.rip + access.length)
               ? TRAP_SERVED
               : TRAP_NOT_PORT;
}
