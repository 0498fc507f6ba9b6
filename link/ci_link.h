#pragma once
#include <cstdint>

enum LinkResult : uint8_t {
    LINK_OK = 0,
    LINK_NO_MODULE = 1,
    LINK_BUSY = 2,
    LINK_NO_DATA = 3,
    LINK_TRANSFER_ERROR = 4,
    LINK_RESET_FAILED = 5,
};

// The one link state record of the run; only the link reads or writes it.
struct ModuleLink {
    uint8_t command_shadow; // last byte written to the command register (never read back)
    uint8_t status;         // last status byte read
    uint8_t size_ls;        // size register bytes last read
    uint8_t size_ms;
    uint16_t io_base;
    uint8_t present; // module-present flag; ci_send/ci_receive refuse to run while 0
};

// Host maximum buffer sizes of the three callers of the negotiation.
constexpr uint16_t STARTUP_MAX_BUFFER = 270;
constexpr uint16_t FALLBACK_MAX_BUFFER = 128;
constexpr uint16_t DIALOG_RESET_SIZE = 1298;

// Attempts of each waiting loop of a reset.
constexpr int RESET_ATTEMPTS = 10000;

LinkResult ci_read_reg(uint16_t port, uint8_t *value);
LinkResult ci_write_reg(uint16_t port, uint8_t value);
LinkResult ci_send(const uint8_t *bytes, uint16_t length);
// Reads one message into buffer (room for capacity bytes). Every announced byte is read from
// the module; at most capacity are stored and *length is set to the bytes stored. A message
// longer than the buffer is reported as LINK_TRANSFER_ERROR.
LinkResult ci_receive(uint8_t *buffer, uint16_t capacity, uint16_t *length);
LinkResult ci_detect(uint16_t host_max, uint16_t *size_out, uint8_t known_base);
LinkResult ci_reset(uint16_t host_max, uint16_t *size_out);
// The base port the module was last found at (0: none yet), for the run's records.
uint16_t ci_io_base();

// The link record itself, for the link's own files and for tests that set up a state.
extern ModuleLink module_link;
