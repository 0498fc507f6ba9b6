// The byte-wide in/out instructions of a program without port permission: each one faults
// (SIGSEGV), and is served here from the simulated module as the hardware would have.
#pragma once
#include <cstdint>
#include <sys/types.h>

enum PortTrap : uint8_t {
    TRAP_SERVED,   // the access was served and the program moved past the instruction
    TRAP_NOT_PORT, // not a byte-wide in/out: the signal is the program's own
    TRAP_REFUSED,  // a port access the run must not go on with (port_grant.refusal says why)
};

struct PortInstruction {
    bool write;
    uint16_t port;
    uint8_t length;
};

// Decodes `in al,dx` (EC), `out dx,al` (EE), `in al,imm8` (E4) and `out imm8,al` (E6) from
// the instruction's first two bytes; dx is the program's DX register. False for anything else.
bool port_instruction_decode(uint8_t opcode, uint8_t imm8, uint16_t dx, PortInstruction *out);

// Handles a SIGSEGV delivery stop of the stopped program.
PortTrap port_trap_serve(pid_t pid);
