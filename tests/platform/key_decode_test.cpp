#include "platform/key_decode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const uint8_t *as_bytes(const std::string &text) {
    return reinterpret_cast<const uint8_t *>(text.data());
}

KeyDecoding decode(const KeyTable &table, const std::string &bytes, bool more_may_come) {
    return key_decode(table, as_bytes(bytes), bytes.size(), more_may_come);
}

const KeyTable NO_TABLE{};

struct TwoCodeKey {
    const char *name;
    std::string bytes;
    uint8_t lead;
    uint8_t code;
};

// The common xterm, VT220, rxvt and Linux console forms, known without a terminfo table.
const std::vector<TwoCodeKey> TERMINAL_FORMS = {
    {"Page Down", "\x1b[6~", 0xE0, 0x51},
    {"Page Up", "\x1b[5~", 0xE0, 0x49},
    {"Up", "\x1b[A", 0xE0, 0x48},
    {"Up, cursor keys mode", "\x1bOA", 0xE0, 0x48},
    {"Down", "\x1b[B", 0xE0, 0x50},
    {"Down, cursor keys mode", "\x1bOB", 0xE0, 0x50},
    {"Left", "\x1b[D", 0xE0, 0x4B},
    {"Right", "\x1bOC", 0xE0, 0x4D},
    {"Home", "\x1b[H", 0xE0, 0x47},
    {"Home, SS3", "\x1bOH", 0xE0, 0x47},
    {"Home, VT220", "\x1b[1~", 0xE0, 0x47},
    {"Home, rxvt", "\x1b[7~", 0xE0, 0x47},
    {"End", "\x1b[F", 0xE0, 0x4F},
    {"End, SS3", "\x1bOF", 0xE0, 0x4F},
    {"End, VT220", "\x1b[4~", 0xE0, 0x4F},
    {"End, rxvt", "\x1b[8~", 0xE0, 0x4F},
    {"Insert", "\x1b[2~", 0xE0, 0x52},
    {"Delete", "\x1b[3~", 0xE0, 0x53},
    {"F1", "\x1bOP", 0, 0x3B},
    {"F2", "\x1bOQ", 0, 0x3C},
    {"F3", "\x1bOR", 0, 0x3D},
    {"F4", "\x1bOS", 0, 0x3E},
    {"F1, VT220", "\x1b[11~", 0, 0x3B},
    {"F4, VT220", "\x1b[14~", 0, 0x3E},
    {"F5", "\x1b[15~", 0, 0x3F},
    {"F6", "\x1b[17~", 0, 0x40},
    {"F7", "\x1b[18~", 0, 0x41},
    {"F8", "\x1b[19~", 0, 0x42},
    {"F9", "\x1b[20~", 0, 0x43},
    {"F10", "\x1b[21~", 0, 0x44},
    {"F11", "\x1b[23~", 0xE0, 0x85},
    {"F12", "\x1b[24~", 0xE0, 0x86},
    {"F1, Linux console", "\x1b[[A", 0, 0x3B},
    {"F5, Linux console", "\x1b[[E", 0, 0x3F},
    {"Alt+F10", "\x1b[21;3~", 0, 0x71},
    {"Alt+F1", "\x1b[1;3P", 0, 0x68},
    {"Shift+F1", "\x1b[1;2P", 0, 0x54},
    {"Ctrl+F4, older SS3", "\x1bO5S", 0, 0x61},
    {"Shift+F10", "\x1b[21;2~", 0, 0x5D},
    {"Ctrl+F10", "\x1b[21;5~", 0, 0x67},
    {"Alt+F11", "\x1b[23;3~", 0xE0, 0x8B},
    {"Ctrl+F12", "\x1b[24;5~", 0xE0, 0x8A},
    {"Shift+Page Down", "\x1b[6;2~", 0xE0, 0x51},
    {"Ctrl+Page Down", "\x1b[6;5~", 0xE0, 0x76},
    {"Alt+Page Down", "\x1b[6;3~", 0, 0xA1},
    {"Ctrl+Right", "\x1b[1;5C", 0xE0, 0x74},
    {"Alt+Up", "\x1b[1;3A", 0, 0x98},
    {"Ctrl+Delete", "\x1b[3;5~", 0xE0, 0x93},
};

TEST(KeyDecode, EveryByteButEscIsTheCharacterItself) {
    for (int value = 0; value < 256; ++value) {
        if (value == KEY_ESC) continue;
        const std::string bytes{static_cast<char>(value), 'x'};
        const KeyDecoding decoding = decode(NO_TABLE, bytes, true);
        ASSERT_EQ(decoding.status, KEY_DECODE_DONE) << value;
        EXPECT_EQ(decoding.used, 1) << value;
        ASSERT_EQ(decoding.count, 1) << value;
        EXPECT_EQ(decoding.codes[0], value);
    }
    EXPECT_EQ(decode(NO_TABLE, "\x03", true).codes[0], 3); // Ctrl+C
}

TEST(KeyDecode, TerminalFormsGiveThePcTwoCodes) {
    for (const TwoCodeKey &key : TERMINAL_FORMS) {
        // A key typed right after it must stay in the input.
        const KeyDecoding decoding = decode(NO_TABLE, key.bytes + "q", true);
        ASSERT_EQ(decoding.status, KEY_DECODE_DONE) << key.name;
        EXPECT_EQ(decoding.used, key.bytes.size()) << key.name;
        ASSERT_EQ(decoding.count, 2) << key.name;
        EXPECT_EQ(decoding.codes[0], key.lead) << key.name;
        EXPECT_EQ(decoding.codes[1], key.code) << key.name;
    }
}

TEST(KeyDecode, SequenceSplitAcrossReadsWaitsForItsRest) {
    for (const TwoCodeKey &key : TERMINAL_FORMS) {
        for (size_t length = 1; length < key.bytes.size(); ++length) {
            EXPECT_EQ(decode(NO_TABLE, key.bytes.substr(0, length), true).status,
                      KEY_DECODE_NEED_MORE)
                << key.name << " cut after " << length;
        }
    }
}

TEST(KeyDecode, LoneEscIsEscOnceTheTerminalIsSilent) {
    EXPECT_EQ(decode(NO_TABLE, "\x1b", true).status, KEY_DECODE_NEED_MORE);
    const KeyDecoding silent = decode(NO_TABLE, "\x1b", false);
    ASSERT_EQ(silent.status, KEY_DECODE_DONE);
    EXPECT_EQ(silent.used, 1);
    ASSERT_EQ(silent.count, 1);
    EXPECT_EQ(silent.codes[0], KEY_ESC);

    // ESC pressed twice quickly: the first is a key of its own, the second decoded after it.
    const KeyDecoding twice = decode(NO_TABLE, "\x1b\x1b[6~", true);
    EXPECT_EQ(twice.used, 1);
    ASSERT_EQ(twice.count, 1);
    EXPECT_EQ(twice.codes[0], KEY_ESC);
}

TEST(KeyDecode, UnknownOrUnfinishedSequencesAreDroppedWhole) {
    struct Dropped {
        std::string bytes;
        bool more_may_come;
        size_t used;
    };
    const std::vector<Dropped> cases = {
        {"\x1b[99~q", true, 5},   // no such key number
        {"\x1b[1;7Aq", true, 6},  // Ctrl+Alt: the PC has no code
        {"\x1b[6;9~", true, 6},   // unknown modifier
        {"\x1b[5;1;3~", true, 8}, // three parameters
        {"\x1b[?1;2c", true, 7},  // a terminal report, not a key
        {"\x1b[2 q", true, 5},    // intermediate byte, final 'q'
        {"\x1bOq", true, 3},      // keypad 1 in application mode, final 'q'
        {"\x1b[[Q", true, 4},     // Linux console form beyond F5
        {"\x1bq", true, 2},       // Alt+q
        {"\x1b[12", false, 4},    // unfinished, then silence
        {"\x1b[", false, 2},      // Alt+[
        {"\x1bO", false, 2},      // Alt+O
        {"\x1b[1\x03", true, 3},  // broken off by a control character, which stays
    };
    for (const Dropped &sequence : cases) {
        const KeyDecoding decoding = decode(NO_TABLE, sequence.bytes, sequence.more_may_come);
        ASSERT_EQ(decoding.status, KEY_DECODE_DONE) << sequence.bytes.substr(1);
        EXPECT_EQ(decoding.used, sequence.used) << sequence.bytes.substr(1);
        EXPECT_EQ(decoding.count, 0) << sequence.bytes.substr(1);
    }

    const std::string longest = "\x1b[" + std::string(KEY_SEQUENCE_MAX - 3, '1');
    EXPECT_EQ(decode(NO_TABLE, longest, true).status, KEY_DECODE_NEED_MORE);
    const KeyDecoding too_long = decode(NO_TABLE, longest + "1", true);
    EXPECT_EQ(too_long.used, KEY_SEQUENCE_MAX);
    EXPECT_EQ(too_long.count, 0);
}

TEST(KeyDecode, TerminfoTableNamesSequencesTheCommonFormsDoNotKnow) {
    KeyTable table{};
    key_table_add(table, "\x1bOs", KEY_PAD_PAGE_DOWN); // xterm kc3
    key_table_add(table, "\x1b[G", KEY_PAD_CENTER);    // Linux console kb2
    key_table_add(table,
                  "\x1b"
                  "A",
                  KEY_UP);                   // VT52 kcuu1
    key_table_add(table, "\x1bp\r", KEY_F1); // HP kf1
    ASSERT_EQ(table.count, 4U);

    struct Case {
        std::string bytes;
        uint8_t lead;
        uint8_t code;
    };
    const std::vector<Case> cases = {{"\x1bOs", 0, 0x51},
                                     {"\x1b[G", 0, 0x4C},
                                     {"\x1b"
                                      "A",
                                      0xE0, 0x48},
                                     {"\x1bp\r", 0, 0x3B},
                                     {"\x1b[6~", 0xE0, 0x51}};
    for (const Case &key : cases) {
        const KeyDecoding decoding = decode(table, key.bytes, true);
        ASSERT_EQ(decoding.count, 2) << key.bytes.substr(1);
        EXPECT_EQ(decoding.used, key.bytes.size()) << key.bytes.substr(1);
        EXPECT_EQ(decoding.codes[0], key.lead) << key.bytes.substr(1);
        EXPECT_EQ(decoding.codes[1], key.code) << key.bytes.substr(1);
    }
    EXPECT_EQ(decode(NO_TABLE, "\x1bOs", true).count, 0);
    EXPECT_EQ(decode(table, "\x1bp", true).status, KEY_DECODE_NEED_MORE);
    EXPECT_EQ(decode(table, "\x1bp", false).count, 0);
}

TEST(KeyDecode, TableKeepsOnlyEscapeSequencesThatFit) {
    KeyTable table{};
    key_table_add(table, nullptr, KEY_F1);
    key_table_add(table, "\x1b", KEY_F1);
    key_table_add(table, "\x7f", KEY_DELETE);  // a single byte stays a character
    key_table_add(table, "\x08x", KEY_DELETE); // not an escape sequence
    const std::string longest = "\x1b[" + std::string(KEY_SEQUENCE_MAX - 4, '1') + "~";
    key_table_add(table, (longest + "~").c_str(), KEY_F2);
    EXPECT_EQ(table.count, 0U);
    key_table_add(table, longest.c_str(), KEY_F3);
    ASSERT_EQ(table.count, 1U);
    EXPECT_EQ(table.bindings[0].length, KEY_SEQUENCE_MAX - 1);
    while (table.count < KEY_TABLE_MAX) key_table_add(table, "\x1b[99~", KEY_F4);
    key_table_add(table, "\x1b[98~", KEY_F5);
    EXPECT_EQ(table.count, KEY_TABLE_MAX);
    EXPECT_EQ(decode(table, "\x1b[98~", true).count, 0);
}

} // namespace
