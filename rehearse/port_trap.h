// The port instructions of a program without port permission: each one faults (SIGSEGV), is
// decoded here in every x86 form, and is either served from the simulated module as the
// hardware would have, or refused.
#pragma once
#include <cstddef>
#include <cstdint>
#include <sys/types.h>

enum PortTrap : uint8_t {
    TRAP_SERVED,   // the access was served and the program moved past the instruction
    TRAP_NOT_PORT, // not a port instruction: the signal is the program's own
    TRAP_REFUSED,  // a port access the run must not go on with (port_grant.refusal says why)
};

// A decoded port instruction: IN/OUT through DX or an 8-bit immediate, INS/OUTS, with any
// legacy prefixes and a REX prefix.
struct PortInstruction {
    uint8_t length;  // bytes, prefixes included
    bool write;      // OUT or OUTS
    bool plain_byte; // `in al` or `out al` without any prefix: the only forms served
    bool through_dx; // the port is DX; otherwise it is `imm8`
    uint8_t imm8;
};

// Decodes the instruction starting at code[0] (size bytes readable). False when it is no
// port instruction, or its bytes end before it does.
bool port_instruction_decode(const uint8_t *code, size_t size, PortInstruction *out);

// Handles a SIGSEGV delivery stop of the stopped program.
PortTrap port_trap_serve(pid_t pid);
