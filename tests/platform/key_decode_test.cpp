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

// The common terminal forms, known without a terminfo table, then unknown sequences, which
// are dropped whole; a byte that breaks one off stays. A key typed right after each stays too,
// and a sequence cut anywhere before its end waits for its rest.
// clang-format off
const std::vector<std::pair<std::string, const char *>> FORMS = {
    {"\x1b[6~", "4: 224 81"}, {"\x1bOA", "3: 224 72"}, {"\x1b[D", "3: 224 75"}, {"\x1b[7~", "4: 224 71"},
    {"\x1bOF", "3: 224 79"}, {"\x1b[3~", "4: 224 83"}, {"\x1bOS", "3: 0 62"}, {"\x1b[15~", "5: 0 63"},
    {"\x1b[24~", "5: 224 134"}, {"\x1b[[E", "4: 0 63"}, {"\x1b[21;3~", "7: 0 113"}, {"\x1b[1;2P", "6: 0 84"},
    {"\x1bO5S", "4: 0 97"}, {"\x1b[21;5~", "7: 0 103"}, {"\x1b[6;3~", "6: 0 161"}, {"\x1b[1;5C", "6: 224 116"},
    {"\x1b[99~", "5:"}, {"\x1b[1;7A", "6:"}, {"\x1b[6;9~", "6:"}, {"\x1b[4294967302~", "13:"},
    {"\x1b[?1;2c", "7:"}, {"\x1b[2 q", "5:"}, {"\x1bOq", "3:"}, {"\x1b[[@", "4:"}, {"\x1b[1\x03", "3:"},
    {"\x1bq", "2:"}};
// clang-format on

TEST(KeyDecode, TerminalFormsAndDroppedSequences) {
    const KeyTable none{};
    for (const auto &[bytes, expected] : FORMS) {
        EXPECT_EQ(decoded(none, bytes + "q", true), expected) << bytes.substr(1);
        for (size_t cut = 1; cut < bytes.size(); ++cut)
            EXPECT_EQ(decoded(none, bytes.substr(0, cut), true), "more") << bytes.substr(1);
    }
    for (int byte = 0; byte < 256; ++byte) // every byte is its character; ESC x is Alt+x
        EXPECT_EQ(decoded(none, {static_cast<char>(byte), 'x'}, true),
                  byte == KEY_ESC ? "2:" : "1: " + std::to_string(byte));
}

// Silence ends a lone ESC and an unfinished sequence. The terminal's own sequences come first;
// the table keeps only escape sequences that fit, up to KEY_TABLE_MAX of them.
TEST(KeyDecode, SilenceLimitsAndTheTerminalsOwnTable) {
    const KeyTable none{};
    KeyTable table{}; // xterm kc3, a VT52 kcuu1, an HP kf1 ending in CR
    key_table_add(table, "\x1bOs", KEY_PAD_PAGE_DOWN);
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
    const struct {
        const KeyTable &table;
        std::string bytes;
        bool more_may_come;
        const char *expected;
    } cases[] = {{none, "\x1b\x1b[6~", true, "1: 27"},   {none, "\x1b", true, "more"},
                 {none, "\x1b", false, "1: 27"},         {none, "\x1b[12", false, "4:"},
                 {none, "\x1bO", false, "2:"},           {none, unfinished, true, "more"},
                 {none, unfinished + "1", true, "16:"},  {table, "\x1bOs", true, "3: 0 81"},
                 {table, "\x1b\x41", true, "2: 224 72"}, {table, "\x1bp\r", true, "3: 0 59"},
                 {table, "\x1b[6~", true, "4: 224 81"},  {table, "\x1bp", true, "more"},
                 {table, "\x1bp", false, "2:"},          {table, too_long, true, "16:"},
                 {table, longest, true, "15: 0 61"},     {table, "\x1b[97~", true, "5: 0 63"},
                 {table, "\x1b[98~", true, "5:"}};
    for (const auto &c : cases)
        EXPECT_EQ(decoded(c.table, c.bytes, c.more_may_come), c.expected) << c.bytes.substr(1);
}

} // namespace
