#include "platform/key_decode.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

std::string decoded(const KeyTable &table, const std::string &bytes, bool more_may_come) {
    const KeyDecoding d = key_decode(table, reinterpret_cast<const uint8_t *>(bytes.data()),
                                     bytes.size(), more_may_come);
    if (d.status == KEY_DECODE_NEED_MORE) return "more";
    std::string text = std::to_string(d.used) + ":";
    for (int i = 0; i < d.count; ++i) text += " " + std::to_string(d.codes[i]);
    return text;
}

// Unknown sequences are dropped whole; a byte that breaks one off stays.
TEST(KeyDecode, TerminalFormsTheTerminalsOwnTableAndSilence) {
    KeyTable table{};
    key_table_add(table, "\x1bOs", KEY_PAD_PAGE_DOWN);
    key_table_add(table, "\x1b\x41", KEY_UP);
    key_table_add(table, "\x1bp\r", KEY_F1);
    const std::string longest = "\x1b[" + std::string(KEY_SEQUENCE_MAX - 4, '1') + "~";
    const std::string too_long = "\x1b[" + std::string(KEY_SEQUENCE_MAX - 3, '2') + "~";
    key_table_add(table, too_long.c_str(), KEY_F2);
    key_table_add(table, longest.c_str(), KEY_F3);
    // A key typed at once after each stays; cut short, each but ESC ESC waits for its rest.
    const std::pair<std::string, const char *> typed[] = {
        // clang-format off
        {"\x1b[6~", "4: 224 81"}, {"\x1bOA", "3: 224 72"}, {"\x1b[23~", "5: 224 133"},
        {"\x1b[[E", "4: 0 63"}, {"\x1b[21;3~", "7: 0 113"}, {"\x1bO5S", "4: 0 97"},
        {"\x1b[21;5~", "7: 0 103"}, {"\x1b[1;5C", "6: 224 116"}, {"\x1b[99~", "5:"},
        {"\x1b[4294967302~", "13:"}, {"\x1b[?1;2c", "7:"}, {"\x1b[2 q", "5:"}, {"\x1b[1\x03", "3:"},
        {"\x1bq", "2:"}, {"\x1bOs", "3: 0 81"}, {"\x1b\x41", "2: 224 72"}, {"\x1bp\r", "3: 0 59"},
        {longest, "15: 0 61"}, {too_long, "16:"}, {"\x1b\x1b[6~", "1: 27"}};
    // clang-format on
    for (const auto &[bytes, expected] : typed) {
        EXPECT_EQ(decoded(table, bytes + "1", true), expected) << bytes.substr(1);
        for (size_t cut = 1; cut < bytes.size() && bytes[1] != KEY_ESC; ++cut)
            EXPECT_EQ(decoded(table, bytes.substr(0, cut), true), "more") << bytes.substr(1);
    }
    // clang-format off
    const std::tuple<std::string, bool, const char *> ended[] = {{"\x1b", false, "1: 27"},
        {"\x1b[12", false, "4:"}, {"\x1bp", false, "2:"},
        {"\x1b[" + std::string(KEY_SEQUENCE_MAX - 2, '1'), true, "16:"}};
    // clang-format on
    for (const auto &[bytes, more_may_come, expected] : ended)
        EXPECT_EQ(decoded(table, bytes, more_may_come), expected) << bytes.substr(1);
    EXPECT_EQ(decoded(KeyTable{}, "\x1b", true), "more");
}

} // namespace
