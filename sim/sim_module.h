// The simulated DVB Common Interface module: a register-level model of the command interface
// behind the port seam, strict about the access order, with the module's side of the
// identification and block-write protocol, and faults that can be injected per block.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What can be scheduled for one block, PAGE:BLOCK as the operator sees it (blocks from 1).
enum SimEventKind : uint8_t {
    SIM_REPLY_SW,         // answer the block with this status word
    SIM_REMOVE,           // module pulled out just before the block is sent
    SIM_WRITE_ERROR,      // WE set after the block's last byte; the block is lost
    SIM_WRITE_ERROR_KEPT, // WE set, yet the block is kept and answered after the next reset
    SIM_READ_ERROR,       // RE set after the reply to the block
    SIM_HANG,             // the block is never answered
    SIM_BUSY,             // FR clear when the block is to be sent: for `value` ms, for good if 0
    SIM_REPLY_LEN,        // the reply to the block announces this many bytes
};

struct SimBlockEvent {
    SimEventKind kind;
    int page;
    int block;
    uint32_t value; // status word, reply length or busy time
};

struct SimConfig {
    uint16_t base = 0x300;
    uint16_t module_buffer = 256; // buffer size the module offers
    bool no_module = false;
    bool late_insert = false; // absent at the first detection, present from the second on

    // Identification records; the optional ones are sent only when given.
    std::string bios = "1.07";
    std::optional<std::string> bios_date = {};
    std::optional<int> page_number = {};
    std::optional<int> asic = {};
    std::optional<std::string> customer = {};
    std::string processor = "51";
    bool silent_identify = false;

    uint32_t erase_ms = 300; // before the first reply of a page
    uint32_t block_ms = 1;   // before every other reply

    std::vector<SimBlockEvent> events = {};
    int size_reply_len = 2;      // bytes of the reset's size reply
    int free_never_from = 0;     // FR never comes back from this reset on (1: the first); 0: off
    int remove_in_identify = -1; // pulled out after this many bytes of the identification request
    bool identify_read_error = false; // RE set after the identification reply

    uint32_t seed = 1;
    double fault_rate = 0; // random faults per register access
};

struct SimPage {
    std::vector<uint8_t> data; // every data byte received for the page, in order
    int blocks = 0;
};

// What the module saw, for the report and the tests.
struct SimRecord {
    uint16_t negotiated = 0; // buffer size the host last wrote
    std::optional<uint8_t> frame_mode;
    int frames = 0;                             // block frames received
    std::vector<std::vector<uint8_t>> messages; // every host message as written, size writes aside
    SimPage pages[2];
    bool pages_seen[2] = {false, false};
    int frames_after_error = 0;
    std::vector<std::string> protocol_errors;
    uint64_t port_reads = 0;
    uint64_t port_writes = 0;
    int faults_injected = 0;
};

extern SimConfig sim_config;
extern SimRecord sim_record;

// Puts the module in its power-on state for sim_config and clears sim_record.
void sim_reset();
uint8_t sim_read(uint16_t port);
void sim_write(uint16_t port, uint8_t value);

// True when the page's received data is its image followed only by 0xFF up to the last
// block's end.
bool sim_page_matches_image(int page);
