// State shared by the register model, the firmware side and the faults (sim_state.cpp).
#pragma once
#include "sim/sim_module.h"

struct SimInterface {
    bool inserted;
    bool late_armed; // waiting for the first probe to pass before being inserted
    uint8_t command; // as the host last wrote it
    bool da, fr, we, re;
    bool stuck;       // FR held clear (busy fault, free-never)
    bool stuck_timed; // ... only until the tick counter reaches stuck_until
    uint32_t stuck_until;
    int resets; // RS given since power-on

    // The host message being written under HC.
    bool fr_at_hc;
    uint16_t host_size;
    uint8_t size_regs_written; // bit 0: LS, bit 1: MS
    bool host_discard;         // the module flagged a write error on this message
    std::vector<uint8_t> host_bytes;

    // The module's message, offered to the host while DA is set.
    std::vector<uint8_t> out;
    size_t out_pos;
    bool re_after_out;

    // A reply being prepared: offered once the delay has passed.
    bool pending;
    uint32_t pending_since;
    uint32_t pending_delay;
    std::vector<uint8_t> pending_bytes;
    bool pending_re;
};

struct SimFirmware {
    bool identify_seen;
    int last_page, last_block; // last block frame accepted
    uint16_t frame_size;       // length of every block frame, fixed at the first one
    bool error_answered;
    // A block taken despite its write error: its reply waits for the interface reset.
    bool keep_after_reset;
    std::vector<uint8_t> held_reply;
    uint32_t held_delay;
    bool held_read_error;
    int held_resets;         // resets given before the write error
    std::vector<bool> fired; // per sim_config.events entry
};

extern SimInterface sim_if;
extern SimFirmware sim_fw;

void sim_protocol_error(const std::string &what);
// The module has a reply for the host after `delay_ms`.
void sim_schedule_reply(const std::vector<uint8_t> &bytes, uint32_t delay_ms, bool read_error);
// The module is pulled out of the reader: every port reads 0xFF from now on.
void sim_pull_out();

// Firmware side, called by the register model.
void fw_reset();
void fw_host_message(const std::vector<uint8_t> &message);
void fw_module_free();                   // the module is ready to take the next message
bool fw_write_error_due();               // the message just completed gets a write error
bool fw_remove_in_identify(size_t sent); // pulled out after `sent` bytes of the request
