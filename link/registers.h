// Command-interface registers of a DVB Common Interface module (EN 50221), as offsets from
// the I/O base, and the bits of its status and command registers.
#pragma once
#include <cstdint>

constexpr uint16_t REG_DATA = 0;    // read: module's next byte; write: host's next byte
constexpr uint16_t REG_STATUS = 1;  // read: status register
constexpr uint16_t REG_COMMAND = 1; // write: command register
constexpr uint16_t REG_SIZE_LS = 2; // message length, least significant byte
constexpr uint16_t REG_SIZE_MS = 3; // message length, most significant byte

constexpr uint8_t STATUS_DA = 0x80; // data available: the module has a message
constexpr uint8_t STATUS_FR = 0x40; // free: the interface can take a message
constexpr uint8_t STATUS_WE = 0x02; // write error after a host message
constexpr uint8_t STATUS_RE = 0x01; // read error after a module message
constexpr uint8_t STATUS_MASK = STATUS_DA | STATUS_FR | STATUS_WE | STATUS_RE;

constexpr uint8_t COMMAND_RS = 0x08; // reset the interface
constexpr uint8_t COMMAND_SR = 0x04; // size read: module presents its buffer size
constexpr uint8_t COMMAND_SW = 0x02; // size write: host sends the negotiated size
constexpr uint8_t COMMAND_HC = 0x01; // host control: host is writing a message

// The five I/O bases a PCMCIA reader can map the interface to, in probe order.
constexpr uint16_t IO_BASES[] = {0x300, 0x320, 0x340, 0x360, 0x380};
constexpr int IO_BASE_COUNT = 5;
constexpr uint16_t IO_WINDOW = 4; // registers per base
