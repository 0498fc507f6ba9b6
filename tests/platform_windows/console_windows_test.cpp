// The console on a real console (Wine gives one to a program started on a terminal): a screen
// buffer of the test's own, the console's buffer behind standard output, and key records
// written into the console's input for keys typed.
#include "platform/console.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <windows.h>

namespace {

COORD cursor(HANDLE buffer) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(buffer, &info);
    return info.dwCursorPosition;
}

// What a buffer shows from (0, row) on: its characters and, with `attribute`, whether each
// cell is in it.
std::string cells(HANDLE buffer, SHORT row, DWORD count, WORD attribute = 0) {
    std::string text(count, '\0');
    std::basic_string<WORD> attributes(count, 0);
    DWORD read = 0;
    ReadConsoleOutputCharacterA(buffer, text.data(), count, {0, row}, &read);
    ReadConsoleOutputAttribute(buffer, attributes.data(), count, {0, row}, &read);
    for (DWORD i = 0; attribute != 0 && i < count; ++i)
        if (attributes[i] != attribute) text[i] = '?';
    return text;
}

// A buffer of 120 x 300 cells, far more rows than the window shows, all 'x' in one attribute,
// its current attribute another, the cursor at (5,7).
TEST(ConsoleWindows, ClearsTheWholeBufferOnlyWhenItCanBeRead) {
    const HANDLE buffer =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    ASSERT_TRUE(SetConsoleScreenBufferSize(buffer, {120, 300}));
    const DWORD all = 120 * 300;
    DWORD done = 0;
    FillConsoleOutputCharacterA(buffer, 'x', all, {0, 0}, &done);
    FillConsoleOutputAttribute(buffer, 0x1F, all, {0, 0}, &done);
    SetConsoleTextAttribute(buffer, 0x2E);
    SetConsoleCursorPosition(buffer, {5, 7});
    HANDLE write_only = nullptr;
    DuplicateHandle(GetCurrentProcess(), buffer, GetCurrentProcess(), &write_only, GENERIC_WRITE,
                    FALSE, 0);
    const HANDLE standard_output = GetStdHandle(STD_OUTPUT_HANDLE);

    SetStdHandle(STD_OUTPUT_HANDLE, write_only);
    screen_clear();
    EXPECT_EQ(cells(buffer, 0, all, 0x1F), std::string(all, 'x'));
    EXPECT_EQ(cursor(buffer).Y, 7);
    SetStdHandle(STD_OUTPUT_HANDLE, buffer);
    screen_clear();
    EXPECT_EQ(cells(buffer, 0, all, 0x2E), std::string(all, ' '));
    screen_goto(119, 299);
    screen_goto(120, 3); // outside the buffer: ignored
    EXPECT_EQ(cursor(buffer).X, 119);
    EXPECT_EQ(cursor(buffer).Y, 299);
    SetStdHandle(STD_OUTPUT_HANDLE, standard_output);
    CloseHandle(write_only);
    CloseHandle(buffer);
}

INPUT_RECORD key(WORD virtual_key, char character, DWORD state) {
    INPUT_RECORD record{KEY_EVENT, {}};
    record.Event.KeyEvent = {
        TRUE, 1, virtual_key, static_cast<WORD>(MapVirtualKeyA(virtual_key, 0)), {}, state};
    record.Event.KeyEvent.uChar.AsciiChar = character;
    return record;
}

// Standard output of the C runtime is the console's own buffer. The input mode is put back
// after every read; Ctrl+C typed while the read waits is the code 3.
TEST(ConsoleWindows, DrawsReadsKeysAndLeavesThePromptBelowTheScreen) {
    const HANDLE screen = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE input =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD run_mode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;
    ASSERT_TRUE(SetConsoleMode(input, run_mode)) << "these tests need a console";
    FlushConsoleInputBuffer(input);
    EXPECT_TRUE(console_open());
    screen_clear();
    screen_goto(1, 3);
    screen_write("INITIALISATION");
    EXPECT_EQ(cells(screen, 3, 20), " INITIALISATION     ");
    EXPECT_EQ(cursor(screen).X, 15);

    DWORD written = 0;
    for (const INPUT_RECORD &record :
         {key('A', 'a', 0), key(VK_ESCAPE, 27, 0), key(VK_NEXT, 0, ENHANCED_KEY)})
        WriteConsoleInputA(input, &record, 1, &written);
    std::string codes;
    for (int i = 0; i < 4; ++i) codes += std::to_string(key_read()) + ",";
    std::thread typist([input] {
        DWORD mode = ENABLE_PROCESSED_INPUT;
        for (int i = 0; i < 100000 && (mode & ENABLE_PROCESSED_INPUT) != 0; ++i, Sleep(1))
            GetConsoleMode(input, &mode);
        const INPUT_RECORD ctrl_c = key('C', 3, LEFT_CTRL_PRESSED);
        DWORD typed = 0;
        WriteConsoleInputA(input, &ctrl_c, 1, &typed);
    });
    codes += std::to_string(key_read());
    typist.join();
    EXPECT_EQ(codes, "97,27,224,81,3");
    DWORD mode = 0;
    GetConsoleMode(input, &mode);
    EXPECT_EQ(mode, run_mode);

    screen_goto(1, 26);
    console_restore();
    EXPECT_EQ(cursor(screen).X, 0);
    EXPECT_EQ(cursor(screen).Y, 27);
    CloseHandle(input);
}

TEST(ConsoleWindows, LosesTheKeysAtOnceWithoutAConsole) {
    EXPECT_EXIT(
        {
            FreeConsole();
            const bool drawing = console_open();
            std::exit(!drawing && key_read() == KEY_LOST && key_read() == KEY_LOST ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
