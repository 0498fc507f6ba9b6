// Turning the bytes a terminal sends for a key into the PC's key codes: a character's own
// byte, or for keys without a character the two-code form (lead 0 or 0xE0, then the scan
// code).
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint8_t KEY_ESC = 27;
// Longest escape sequence taken as one key; a longer one without an end is dropped.
constexpr size_t KEY_SEQUENCE_MAX = 16;

// The keys without a character that a terminal reports by escape sequences.
enum KeyName : uint8_t {
    KEY_F1,
    KEY_F2,
    KEY_F3,
    KEY_F4,
    KEY_F5,
    KEY_F6,
    KEY_F7,
    KEY_F8,
    KEY_F9,
    KEY_F10,
    KEY_F11,
    KEY_F12,
    KEY_HOME,
    KEY_UP,
    KEY_PAGE_UP,
    KEY_LEFT,
    KEY_RIGHT,
    KEY_END,
    KEY_DOWN,
    KEY_PAGE_DOWN,
    KEY_INSERT,
    KEY_DELETE,
    KEY_PAD_HOME, // the numeric keypad with Num Lock off
    KEY_PAD_PAGE_UP,
    KEY_PAD_CENTER,
    KEY_PAD_END,
    KEY_PAD_PAGE_DOWN,
    KEY_NAME_COUNT
};

struct KeyCapability {
    const char *name;
    KeyName key;
};
extern const KeyCapability KEY_CAPABILITIES[];
extern const size_t KEY_CAPABILITY_COUNT;

// Sequences this terminal sends, learnt from its terminfo entry. They are tried before the
// common xterm forms, which are known without a table.
struct KeyBinding {
    uint8_t bytes[KEY_SEQUENCE_MAX];
    uint8_t length;
    KeyName key;
};
constexpr size_t KEY_TABLE_MAX = 32;
struct KeyTable {
    KeyBinding bindings[KEY_TABLE_MAX];
    size_t count;
};

// Adds `sequence` for `key`. Only escape sequences of 2 to KEY_SEQUENCE_MAX - 1 bytes are
// kept (a single byte is read as the character it is); anything else, a null pointer
// included, is skipped, as is a sequence when the table is full.
void key_table_add(KeyTable &table, const char *sequence, KeyName key);

enum KeyDecodeStatus : uint8_t {
    KEY_DECODE_NEED_MORE, // the bytes so far may be the start of a sequence: read on
    KEY_DECODE_DONE       // `used` bytes are one key (or one dropped sequence)
};
struct KeyDecoding {
    KeyDecodeStatus status;
    uint8_t used;     // bytes taken from the front of the input
    uint8_t count;    // codes: 0 (dropped), 1 (a character or ESC), 2 (lead and scan code)
    uint8_t codes[2]; // in the order key_read returns them
};

// Decodes the key at the front of `bytes` (length > 0). `more_may_come` is false once the
// terminal has been silent for a while after these bytes: a lone ESC is then the ESC key,
// and an unfinished sequence is dropped. An unknown sequence is dropped whole. NEED_MORE
// is only returned for fewer than KEY_SEQUENCE_MAX bytes.
KeyDecoding key_decode(const KeyTable &table, const uint8_t *bytes, size_t length,
                       bool more_may_come);
