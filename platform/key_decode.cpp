#include "platform/key_decode.h"

#include <cstring>

namespace {

enum Modifier : uint8_t { PLAIN, SHIFT, CTRL, ALT, MODIFIER_COUNT };

struct KeyCodes {
    uint8_t lead;
    uint8_t code; // 0: the PC has no code for this key with this modifier
};

// The PC's two codes for each key: plain, with Shift, with Ctrl, with Alt.
constexpr KeyCodes PC_CODES[KEY_NAME_COUNT][MODIFIER_COUNT] = {
    {{0, 0x3B}, {0, 0x54}, {0, 0x5E}, {0, 0x68}},             // F1
    {{0, 0x3C}, {0, 0x55}, {0, 0x5F}, {0, 0x69}},             // F2
    {{0, 0x3D}, {0, 0x56}, {0, 0x60}, {0, 0x6A}},             // F3
    {{0, 0x3E}, {0, 0x57}, {0, 0x61}, {0, 0x6B}},             // F4
    {{0, 0x3F}, {0, 0x58}, {0, 0x62}, {0, 0x6C}},             // F5
    {{0, 0x40}, {0, 0x59}, {0, 0x63}, {0, 0x6D}},             // F6
    {{0, 0x41}, {0, 0x5A}, {0, 0x64}, {0, 0x6E}},             // F7
    {{0, 0x42}, {0, 0x5B}, {0, 0x65}, {0, 0x6F}},             // F8
    {{0, 0x43}, {0, 0x5C}, {0, 0x66}, {0, 0x70}},             // F9
    {{0, 0x44}, {0, 0x5D}, {0, 0x67}, {0, 0x71}},             // F10
    {{0xE0, 0x85}, {0xE0, 0x87}, {0xE0, 0x89}, {0xE0, 0x8B}}, // F11
    {{0xE0, 0x86}, {0xE0, 0x88}, {0xE0, 0x8A}, {0xE0, 0x8C}}, // F12
    {{0xE0, 0x47}, {0xE0, 0x47}, {0xE0, 0x77}, {0, 0x97}},    // Home
    {{0xE0, 0x48}, {0xE0, 0x48}, {0xE0, 0x8D}, {0, 0x98}},    // Up
    {{0xE0, 0x49}, {0xE0, 0x49}, {0xE0, 0x84}, {0, 0x99}},    // Page Up
    {{0xE0, 0x4B}, {0xE0, 0x4B}, {0xE0, 0x73}, {0, 0x9B}},    // Left
    {{0xE0, 0x4D}, {0xE0, 0x4D}, {0xE0, 0x74}, {0, 0x9D}},    // Right
    {{0xE0, 0x4F}, {0xE0, 0x4F}, {0xE0, 0x75}, {0, 0x9F}},    // End
    {{0xE0, 0x50}, {0xE0, 0x50}, {0xE0, 0x91}, {0, 0xA0}},    // Down
    {{0xE0, 0x51}, {0xE0, 0x51}, {0xE0, 0x76}, {0, 0xA1}},    // Page Down
    {{0xE0, 0x52}, {0xE0, 0x52}, {0xE0, 0x92}, {0, 0xA2}},    // Insert
    {{0xE0, 0x53}, {0xE0, 0x53}, {0xE0, 0x93}, {0, 0xA3}},    // Delete
    {{0, 0x47}, {0, 0}, {0, 0}, {0, 0}},                      // keypad Home
    {{0, 0x49}, {0, 0}, {0, 0}, {0, 0}},                      // keypad Page Up
    {{0, 0x4C}, {0, 0}, {0, 0}, {0, 0}},                      // keypad centre
    {{0, 0x4F}, {0, 0}, {0, 0}, {0, 0}},                      // keypad End
    {{0, 0x51}, {0, 0}, {0, 0}, {0, 0}},                      // keypad Page Down
};

KeyDecoding key_done(size_t used, KeyName key, Modifier modifier) {
    const KeyCodes codes = PC_CODES[key][modifier];
    if (codes.code == 0) return {KEY_DECODE_DONE, static_cast<uint8_t>(used), 0, {}};
    return {KEY_DECODE_DONE, static_cast<uint8_t>(used), 2, {codes.lead, codes.code}};
}

KeyDecoding dropped(size_t used) {
    return {KEY_DECODE_DONE, static_cast<uint8_t>(used), 0, {}};
}

KeyDecoding single(size_t used, uint8_t code) {
    return {KEY_DECODE_DONE, static_cast<uint8_t>(used), 1, {code, 0}};
}

constexpr KeyDecoding NEED_MORE = {KEY_DECODE_NEED_MORE, 0, 0, {}};

// Bytes that have arrived but cannot end a sequence yet: wait for more while more may come
// and there is room, otherwise drop them.
KeyDecoding unfinished(size_t length, bool more_may_come) {
    if (more_may_come && length < KEY_SEQUENCE_MAX) return NEED_MORE;
    return dropped(length);
}

// The numbers of a sequence's parameter bytes: none, "a" or "a;b", each below 1000.
struct Parameters {
    int count;
    int values[2];
};

bool parse_parameters(const uint8_t *bytes, size_t length, Parameters &parameters) {
    parameters = {0, {0, 0}};
    bool in_number = false;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = bytes[i];
        if (byte >= '0' && byte <= '9') {
            if (!in_number) {
                if (parameters.count == 2) return false;
                ++parameters.count;
                in_number = true;
            }
            int &value = parameters.values[parameters.count - 1];
            value = value * 10 + (byte - '0');
            if (value >= 1000) return false;
        } else if (byte == ';' && in_number) {
            in_number = false;
        } else {
            return false;
        }
    }
    return length == 0 || in_number;
}

template <typename From, typename To> struct Mapping {
    From from;
    To to;
};

template <typename From, typename To, size_t N>
bool look_up(const Mapping<From, To> (&mappings)[N], From from, To &to) {
    for (const Mapping<From, To> &mapping : mappings) {
        if (mapping.from == from) {
            to = mapping.to;
            return true;
        }
    }
    return false;
}

// xterm's modifier parameter: 1 + (Shift 1, Alt 2, Ctrl 4). The PC has codes for one
// modifier at a time only.
constexpr Mapping<int, Modifier> MODIFIER_PARAMETERS[] = {
    {1, PLAIN}, {2, SHIFT}, {3, ALT}, {5, CTRL}};

// The keys of sequences ending in a letter: ESC [ A, ESC O P, ESC [ 1 ; 3 P...
constexpr Mapping<uint8_t, KeyName> LETTER_KEYS[] = {
    {'A', KEY_UP},  {'B', KEY_DOWN}, {'C', KEY_RIGHT}, {'D', KEY_LEFT}, {'H', KEY_HOME},
    {'F', KEY_END}, {'P', KEY_F1},   {'Q', KEY_F2},    {'R', KEY_F3},   {'S', KEY_F4}};

// The keys of sequences ESC [ n ~: VT220 numbering, and rxvt's 7 and 8 for Home and End.
constexpr Mapping<int, KeyName> NUMBER_KEYS[] = {
    {1, KEY_HOME},      {2, KEY_INSERT}, {3, KEY_DELETE}, {4, KEY_END},  {5, KEY_PAGE_UP},
    {6, KEY_PAGE_DOWN}, {7, KEY_HOME},   {8, KEY_END},    {11, KEY_F1},  {12, KEY_F2},
    {13, KEY_F3},       {14, KEY_F4},    {15, KEY_F5},    {17, KEY_F6},  {18, KEY_F7},
    {19, KEY_F8},       {20, KEY_F9},    {21, KEY_F10},   {23, KEY_F11}, {24, KEY_F12}};

KeyDecoding interpret(size_t used, const uint8_t *parameter_bytes, size_t parameter_length,
                      uint8_t final_byte) {
    Parameters parameters;
    if (!parse_parameters(parameter_bytes, parameter_length, parameters)) return dropped(used);
    KeyName key;
    Modifier modifier = PLAIN;
    if (final_byte == '~') {
        if (parameters.count == 0 || !look_up(NUMBER_KEYS, parameters.values[0], key)) {
            return dropped(used);
        }
        if (parameters.count == 2 &&
            !look_up(MODIFIER_PARAMETERS, parameters.values[1], modifier)) {
            return dropped(used);
        }
        return key_done(used, key, modifier);
    }
    if (!look_up(LETTER_KEYS, final_byte, key)) return dropped(used);
    // ESC [ A, ESC [ 1 ; 5 A, and the older ESC O 5 P with the modifier alone.
    if (parameters.count == 2 && parameters.values[0] != 1) return dropped(used);
    if (parameters.count > 0 &&
        !look_up(MODIFIER_PARAMETERS, parameters.values[parameters.count - 1], modifier)) {
        return dropped(used);
    }
    return key_done(used, key, modifier);
}

// ESC [ or ESC O followed by parameter bytes (0x30-0x3F), intermediate bytes (0x20-0x2F) and
// one final byte (0x40-0x7E).
KeyDecoding decode_control_sequence(const uint8_t *bytes, size_t length, bool more_may_come) {
    size_t i = 2;
    while (i < length && bytes[i] >= 0x30 && bytes[i] <= 0x3F) ++i;
    const size_t parameter_end = i;
    while (i < length && bytes[i] >= 0x20 && bytes[i] <= 0x2F) ++i;
    if (i == length) return unfinished(length, more_may_come);
    // A byte that cannot belong to the sequence ends it; that byte starts the next key.
    if (bytes[i] < 0x40 || bytes[i] > 0x7E) return dropped(i);
    if (i != parameter_end) return dropped(i + 1); // intermediate bytes: no key of ours
    return interpret(i + 1, bytes + 2, parameter_end - 2, bytes[i]);
}

// The Linux console's ESC [ [ A to ESC [ [ E for F1 to F5.
KeyDecoding decode_linux_function_key(const uint8_t *bytes, size_t length, bool more_may_come) {
    if (length < 4) return unfinished(length, more_may_come);
    if (bytes[3] < 'A' || bytes[3] > 'E') return dropped(4);
    return key_done(4, static_cast<KeyName>(KEY_F1 + (bytes[3] - 'A')), PLAIN);
}

bool starts_with(const uint8_t *bytes, size_t length, const KeyBinding &binding) {
    return length >= binding.length && std::memcmp(bytes, binding.bytes, binding.length) == 0;
}

bool is_proper_prefix(const uint8_t *bytes, size_t length, const KeyBinding &binding) {
    return length < binding.length && std::memcmp(bytes, binding.bytes, length) == 0;
}

} // namespace

const KeyCapability KEY_CAPABILITIES[] = {
    {"kf1", KEY_F1},         {"kf2", KEY_F2},        {"kf3", KEY_F3},
    {"kf4", KEY_F4},         {"kf5", KEY_F5},        {"kf6", KEY_F6},
    {"kf7", KEY_F7},         {"kf8", KEY_F8},        {"kf9", KEY_F9},
    {"kf10", KEY_F10},       {"kf11", KEY_F11},      {"kf12", KEY_F12},
    {"khome", KEY_HOME},     {"kcuu1", KEY_UP},      {"kpp", KEY_PAGE_UP},
    {"kcub1", KEY_LEFT},     {"kcuf1", KEY_RIGHT},   {"kend", KEY_END},
    {"kcud1", KEY_DOWN},     {"knp", KEY_PAGE_DOWN}, {"kich1", KEY_INSERT},
    {"kdch1", KEY_DELETE},   {"ka1", KEY_PAD_HOME},  {"ka3", KEY_PAD_PAGE_UP},
    {"kb2", KEY_PAD_CENTER}, {"kc1", KEY_PAD_END},   {"kc3", KEY_PAD_PAGE_DOWN},
};
const size_t KEY_CAPABILITY_COUNT = sizeof KEY_CAPABILITIES / sizeof KEY_CAPABILITIES[0];

void key_table_add(KeyTable &table, const char *sequence, KeyName key) {
    if (sequence == nullptr || table.count == KEY_TABLE_MAX) return;
    const size_t length = std::strlen(sequence);
    if (length < 2 || length >= KEY_SEQUENCE_MAX || sequence[0] != KEY_ESC) return;
    KeyBinding &binding = table.bindings[table.count++];
    std::memcpy(binding.bytes, sequence, length);
    binding.length = static_cast<uint8_t>(length);
    binding.key = key;
}

KeyDecoding key_decode(const KeyTable &table, const uint8_t *bytes, size_t length,
                       bool more_may_come) {
    if (bytes[0] != KEY_ESC) return single(1, bytes[0]);

    // The terminal's own sequences first.
    bool prefix_of_binding = false;
    for (size_t i = 0; i < table.count; ++i) {
        const KeyBinding &binding = table.bindings[i];
        if (starts_with(bytes, length, binding))
            return key_done(binding.length, binding.key, PLAIN);
        prefix_of_binding = prefix_of_binding || is_proper_prefix(bytes, length, binding);
    }
    if (prefix_of_binding && more_may_come) return NEED_MORE;

    if (length == 1) return more_may_come ? NEED_MORE : single(1, KEY_ESC);
    switch (bytes[1]) {
    case KEY_ESC:
        return single(1, KEY_ESC); // ESC pressed twice in quick succession
    case '[':
        if (length > 2 && bytes[2] == '[') {
            return decode_linux_function_key(bytes, length, more_may_come);
        }
        return decode_control_sequence(bytes, length, more_may_come);
    case 'O':
        return decode_control_sequence(bytes, length, more_may_come);
    default:
        return dropped(2); // ESC and a character: Alt with that character
    }
}
