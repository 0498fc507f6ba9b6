#include "platform/key_decode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What key_decode makes of `bytes`: "more" (NEED_MORE), or the bytes used and the codes.
std::string decoded(const KeyTable &table, const std::string &bytes, bool more_may_come) {
    const KeyDecoding d = key_decode(table, reinterpret_cast<const uint8_t *>(bytes.data()),
                                     bytes.size(), more_may_come);
    if (d.status == KEY_DECODE_NEED_MORE) return "more";
    std::string text = std::to_string(d.used) + ":";
    for (int i = 0; i < d.count; ++i) text += " " + std::to_string(d.codes[i]);
    return text;
}

struct Form {
    std::string bytes;
    const char *expected;
};

// The common terminal forms, known without a terminfo table, and sequences dropped whole.
// clang-format off
const std::vector<Form> FORMS = {
    {"\x1b[6~", "4: 224 81"}, {"\x1b[5~", "4: 224 73"}, {"\x1b[A", "3: 224 72"},
    {"\x1bOA", "3: 224 72"}, {"\x1b[B", "3: 224 80"}, {"\x1bOB", "3: 224 80"},
    {"\x1b[D", "3: 224 75"}, {"\x1bOC", "3: 224 77"}, {"\x1b[H", "3: 224 71"},
    {"\x1bOH", "3: 224 71"}, {"\x1b[1~", "4: 224 71"}, {"\x1b[7~", "4: 224 71"},
    {"\x1b[F", "3: 224 79"}, {"\x1bOF", "3: 224 79"}, {"\x1b[4~", "4: 224 79"},
    {"\x1b[8~", "4: 224 79"}, {"\x1b[2~", "4: 224 82"}, {"\x1b[3~", "4: 224 83"},
    {"\x1bOP", "3: 0 59"}, {"\x1bOQ", "3: 0 60"}, {"\x1bOR", "3: 0 61"}, {"\x1bOS", "3: 0 62"},
    {"\x1b[11~", "5: 0 59"}, {"\x1b[14~", "5: 0 62"}, {"\x1b[15~", "5: 0 63"},
    {"\x1b[17~", "5: 0 64"}, {"\x1b[18~", "5: 0 65"}, {"\x1b[19~", "5: 0 66"},
    {"\x1b[20~", "5: 0 67"}, {"\x1b[21~", "5: 0 68"}, {"\x1b[23~", "5: 224 133"},
    {"\x1b[24~", "5: 224 134"}, {"\x1b[[A", "4: 0 59"}, {"\x1b[[E", "4: 0 63"},
    {"\x1b[21;3~", "7: 0 113"}, {"\x1b[1;3P", "6: 0 104"}, {"\x1b[1;2P", "6: 0 84"},
    {"\x1bO5S", "4: 0 97"}, {"\x1b[21;2~", "7: 0 93"}, {"\x1b[21;5~", "7: 0 103"},
    {"\x1b[23;3~", "7: 224 139"}, {"\x1b[24;5~", "7: 224 138"}, {"\x1b[6;2~", "6: 224 81"},
    {"\x1b[6;5~", "6: 224 118"}, {"\x1b[6;3~", "6: 0 161"}, {"\x1b[1;5C", "6: 224 116"},
    {"\x1b[1;3A", "6: 0 152"}, {"\x1b[3;5~", "6: 224 147"},
    // Unknown sequences are dropped whole; a byte that breaks one off stays.
    {"\x1b[99~", "5:"}, {"\x1b[1;7A", "6:"}, {"\x1b[2;5A", "6:"}, {"\x1b[6;9~", "6:"},
    {"\x1b[5;1;3~", "8:"}, {"\x1b[4294967302~", "13:"}, {"\x1b[?1;2c", "7:"}, {"\x1b[2 q", "5:"},
    {"\x1bOq", "3:"}, {"\x1b[[F", "4:"}, {"\x1b[[@", "4:"}, {"\x1b[1\x03", "3:"}, {"\x1bq", "2:"}};
// clang-format on

TEST(KeyDecode, TerminalFormsAndDroppedSequences) {
    const KeyTable none{};
    for (const Form &c : FORMS) {
        // A key typed right after the sequence stays in the input.
        EXPECT_EQ(decoded(none, c.bytes + "q", true), c.expected) << c.bytes.substr(1);
        // Cut anywhere before its end, a sequence waits for its rest.
        for (size_t cut = 1; cut < c.bytes.size(); ++cut)
            EXPECT_EQ(decoded(none, c.bytes.substr(0, cut), true), "more") << c.bytes.substr(1);
    }
    for (int byte = 0; byte < 256; ++byte) // every byte is its character; ESC x is Alt+x
        EXPECT_EQ(decoded(none, {static_cast<char>(byte), 'x'}, true),
                  byte == KEY_ESC ? "2:" : "1: " + std::to_string(byte));
}

// The terminal's own sequences come first; the table keeps only escape sequences that fit,
// up to KEY_TABLE_MAX of them.
TEST(KeyDecode, SilenceEndsLoneEscAndUnfinishedSequencesAndTheTableComesFirst) {
    const KeyTable none{};
    KeyTable table{}; // xterm kc3, Linux console kb2, VT52 kcuu1, an HP kf1 ending in CR
    key_table_add(table, "\x1bOs", KEY_PAD_PAGE_DOWN);
    key_table_add(table, "\x1b[G", KEY_PAD_CENTER);
    key_table_add(table, "\x1b\x41", KEY_UP);
    key_table_add(table, "\x1bp\r", KEY_F1);
    const std::string longest = "\x1b[" + std::string(KEY_SEQUENCE_MAX - 4, '1') + "~";
    const std::string too_long = "\x1b[" + std::string(KEY_SEQUENCE_MAX - 3, '2') + "~";
    for (const char *refused : {static_cast<const char *>(nullptr), "\x1b", too_long.c_str()})
        key_table_add(table, refused, KEY_F2);
    key_table_add(table, longest.c_str(), KEY_F3);
    while (table.count < KEY_TABLE_MAX - 1) key_table_add(table, "\x1b[99~", KEY_F4);
    key_table_add(table, "\x1b[97~", KEY_F5);
    key_table_add(table, "\x1b[98~", KEY_F6);
    const std::string unfinished = "\x1b[" + std::string(KEY_SEQUENCE_MAX - 3, '1');
    struct Case {
        const KeyTable *table;
        std::string bytes;
        bool more_may_come;
        const char *expected;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {&none, "\x1b\x1b[6~", true, "1: 27"}, // ESC twice quickly: the first is a key
        {&none, "\x1b", true, "more"},           {&none, "\x1b", false, "1: 27"},
        {&none, "\x1b[12", false, "4:"},         {&none, "\x1b[", false, "2:"},
        {&none, "\x1bO", false, "2:"},           {&none, unfinished, true, "more"},
        {&none, unfinished + "1", true, "16:"},  {&none, "\x1bOs", true, "3:"},
        {&table, "\x1bOs", true, "3: 0 81"},     {&table, "\x1b[G", true, "3: 0 76"},
        {&table, "\x1b\x41", true, "2: 224 72"}, {&table, "\x1bp\r", true, "3: 0 59"},
        {&table, "\x1b[6~", true, "4: 224 81"},  {&table, "\x1bp", true, "more"},
        {&table, "\x1bp", false, "2:"},          {&table, "\x1b", false, "1: 27"},
        {&table, too_long, true, "16:"},         {&table, longest, true, "15: 0 61"},
        {&table, "\x1b[97~", true, "5: 0 63"},   {&table, "\x1b[98~", true, "5:"}};
    // clang-format on
    for (const Case &c : cases)
        EXPECT_EQ(decoded(*c.table, c.bytes, c.more_may_come), c.expected) << c.bytes.substr(1);
}

} // namespace
