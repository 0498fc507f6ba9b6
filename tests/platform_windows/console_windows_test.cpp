#include "platform/console.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

std::string cells(HANDLE buffer, SHORT row, DWORD count) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(buffer, &info);
    std::string text(count, '\0');
    ReadConsoleOutputCharacterA(buffer, text.data(), count, {0, row}, &count);
    return text + "|" + std::to_string(info.dwCursorPosition.X) + "," +
           std::to_string(info.dwCursorPosition.Y);
}

void type(HANDLE input, WORD virtual_key, char character, DWORD state = 0) {
    INPUT_RECORD record{KEY_EVENT, {}};
    record.Event.KeyEvent = {
        TRUE, 1, virtual_key, static_cast<WORD>(MapVirtualKeyA(virtual_key, 0)), {}, state};
    record.Event.KeyEvent.uChar.AsciiChar = character;
    DWORD written = 0;
    WriteConsoleInputA(input, &record, 1, &written);
}

TEST(ConsoleWindows, ClearsReadsKeysAndLeavesThePromptBelowTheScreen) {
    const HANDLE screen = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE big = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                 CONSOLE_TEXTMODE_BUFFER, nullptr);
    ASSERT_TRUE(SetConsoleScreenBufferSize(big, {120, 300}));
    DWORD done = 0;
    FillConsoleOutputCharacterA(big, 'x', 120 * 300, {0, 0}, &done);
    SetStdHandle(STD_OUTPUT_HANDLE, big);
    screen_clear();
    EXPECT_EQ(cells(big, 0, 120 * 300).find_first_not_of(' '), 120u * 300) << "the first kept cell";
    SetStdHandle(STD_OUTPUT_HANDLE, screen);

    const HANDLE input =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(SetConsoleMode(input, 7)) << "these tests need a console";
    FlushConsoleInputBuffer(input);
    EXPECT_TRUE(console_open());
    type(input, 'X', 'x');
    key_discard();
    type(input, 'A', 'a');
    type(input, VK_ESCAPE, 27);
    type(input, VK_NEXT, 0, ENHANCED_KEY);
    std::string codes;
    for (int i = 0; i < 4; ++i) codes += std::to_string(key_read()) + ",";
    GetConsoleMode(input, &done);
    screen_goto(1, 26);
    console_restore();
    EXPECT_EQ(codes + " mode " + std::to_string(done) + cells(screen, 27, 0),
              "97,27,224,81, mode 7|0,27");
}

} // namespace
