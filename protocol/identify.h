// Module identification refuses a processor other than "51" and sets frame_mode from the BIOS
// revision.
#pragma once
#include <cstdint>

// One tagged record of the identification reply: tag, length, then `length` value bytes.
struct IdentRecord {
    uint8_t tag;
    uint8_t length;
    const uint8_t *value;
};

constexpr uint8_t IDENT_BIOS_REVISION = 1;
constexpr uint8_t IDENT_BIOS_DATE = 2;
constexpr uint8_t IDENT_PAGE_NUMBER = 3;
constexpr uint8_t IDENT_ASIC_VERSION = 4;
constexpr uint8_t IDENT_CUSTOMER = 5;
constexpr uint8_t IDENT_PROCESSOR = 6;

// Returns only for an accepted module; a refused module or a failed fall-back reset ends the
// process with exit code 1.
void module_identify();

// Shows the records of a reply of `length` bytes and applies their effects; the reply's first
// three bytes are its header. Records never reach outside the reply.
void identify_show_records(const uint8_t *reply, uint16_t length);
