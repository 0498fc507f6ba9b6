// The console backend on a real console: screen buffers of the tests' own stand in for
// standard output, and key records written into the console's input stand in for keys typed.
#include "platform/console.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

namespace {

constexpr SHORT COLUMNS = 120;
constexpr SHORT ROWS = 300; // far more rows than the window shows
constexpr WORD OLD_ATTRIBUTE = 0x1F;
constexpr WORD CURRENT_ATTRIBUTE = 0x2E;

class Console : public testing::Test {
  protected:
    void SetUp() override {
        standard_output = GetStdHandle(STD_OUTPUT_HANDLE);
        CONSOLE_SCREEN_BUFFER_INFO info;
        ASSERT_TRUE(GetConsoleScreenBufferInfo(standard_output, &info))
            << "these tests need a console: run them on a terminal";
    }
    void TearDown() override {
        SetStdHandle(STD_OUTPUT_HANDLE, standard_output);
        if (buffer != nullptr) CloseHandle(buffer);
    }

    // A buffer of COLUMNS x ROWS full of 'x' in OLD_ATTRIBUTE, its current attribute
    // CURRENT_ATTRIBUTE and the cursor at (5,7); standard output goes to `output`, which is
    // the buffer itself or a copy of its handle with less access.
    void make_buffer() {
        buffer = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           CONSOLE_TEXTMODE_BUFFER, nullptr);
        ASSERT_NE(buffer, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(SetConsoleScreenBufferSize(buffer, {COLUMNS, ROWS}));
        DWORD done = 0;
        FillConsoleOutputCharacterA(buffer, 'x', CELLS, {0, 0}, &done);
        FillConsoleOutputAttribute(buffer, OLD_ATTRIBUTE, CELLS, {0, 0}, &done);
        SetConsoleTextAttribute(buffer, CURRENT_ATTRIBUTE);
        SetConsoleCursorPosition(buffer, {5, 7});
        SetStdHandle(STD_OUTPUT_HANDLE, buffer);
    }

    std::string characters() const {
        std::string cells(CELLS, '\0');
        DWORD read = 0;
        ReadConsoleOutputCharacterA(buffer, cells.data(), CELLS, {0, 0}, &read);
        cells.resize(read);
        return cells;
    }
    std::vector<WORD> attributes() const {
        std::vector<WORD> cells(CELLS);
        DWORD read = 0;
        ReadConsoleOutputAttribute(buffer, cells.data(), CELLS, {0, 0}, &read);
        cells.resize(read);
        return cells;
    }
    static COORD cursor(HANDLE of) {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        GetConsoleScreenBufferInfo(of, &info);
        return info.dwCursorPosition;
    }

    static constexpr DWORD CELLS = COLUMNS * ROWS;
    HANDLE standard_output = nullptr;
    HANDLE buffer = nullptr;
};

TEST_F(Console, ClearBlanksTheWholeBufferInTheCurrentAttributeAndHomesTheCursor) {
    make_buffer();
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(buffer, &info));
    ASSERT_LT(info.srWindow.Bottom, ROWS - 1) << "the window shows the whole buffer";

    screen_clear();

    EXPECT_EQ(characters(), std::string(CELLS, ' '));
    EXPECT_EQ(attributes(), std::vector<WORD>(CELLS, CURRENT_ATTRIBUTE));
    EXPECT_EQ(cursor(buffer).X, 0);
    EXPECT_EQ(cursor(buffer).Y, 0);
}

TEST_F(Console, ClearDoesNothingWhenTheBufferCannotBeRead) {
    make_buffer();
    HANDLE write_only = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), buffer, GetCurrentProcess(), &write_only,
                                GENERIC_WRITE, FALSE, 0));
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_FALSE(GetConsoleScreenBufferInfo(write_only, &info));
    SetStdHandle(STD_OUTPUT_HANDLE, write_only);

    screen_clear();

    EXPECT_EQ(characters(), std::string(CELLS, 'x'));
    EXPECT_EQ(attributes(), std::vector<WORD>(CELLS, OLD_ATTRIBUTE));
    EXPECT_EQ(cursor(buffer).X, 5);
    EXPECT_EQ(cursor(buffer).Y, 7);
    CloseHandle(write_only);
}

TEST_F(Console, GotoMovesTheCursorAndIgnoresACellOutsideTheBuffer) {
    make_buffer();
    screen_goto(1, 299);
    EXPECT_EQ(cursor(buffer).X, 1);
    EXPECT_EQ(cursor(buffer).Y, 299);
    screen_goto(1, 300);
    screen_goto(120, 3);
    EXPECT_EQ(cursor(buffer).X, 1);
    EXPECT_EQ(cursor(buffer).Y, 299);
}

// Standard output of the C runtime stays on the console's own buffer.
TEST_F(Console, WriteShowsTheTextAtTheCursorAtOnce) {
    screen_clear();
    screen_goto(1, 3);
    screen_write("INITIALISATION");
    char row[20];
    DWORD read = 0;
    ReadConsoleOutputCharacterA(standard_output, row, sizeof row, {0, 3}, &read);
    EXPECT_EQ(std::string(row, read), " INITIALISATION     ");
    EXPECT_EQ(cursor(standard_output).X, 15);
    EXPECT_EQ(cursor(standard_output).Y, 3);
}

INPUT_RECORD key_record(WORD key, char character, DWORD state) {
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = TRUE;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.wVirtualKeyCode = key;
    record.Event.KeyEvent.wVirtualScanCode = static_cast<WORD>(MapVirtualKeyA(key, 0));
    record.Event.KeyEvent.uChar.AsciiChar = character;
    record.Event.KeyEvent.dwControlKeyState = state;
    return record;
}

class Keys : public Console {
  protected:
    void SetUp() override {
        Console::SetUp();
        input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(input, INVALID_HANDLE_VALUE);
        GetConsoleMode(input, &found_mode);
        ASSERT_TRUE(SetConsoleMode(input, RUN_MODE));
        FlushConsoleInputBuffer(input);
        console_open();
    }
    void TearDown() override {
        SetConsoleMode(input, found_mode);
        CloseHandle(input);
        Console::TearDown();
    }

    void type(const INPUT_RECORD &record) const {
        DWORD written = 0;
        WriteConsoleInputA(input, &record, 1, &written);
    }
    DWORD mode() const {
        DWORD now = 0;
        GetConsoleMode(input, &now);
        return now;
    }

    static constexpr DWORD RUN_MODE =
        ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;
    HANDLE input = nullptr;
    DWORD found_mode = 0;
};

TEST_F(Keys, ReadOneKeyAtATimeAndPutTheInputModeBack) {
    type(key_record('A', 'a', 0));
    type(key_record(VK_ESCAPE, 27, 0));
    type(key_record(VK_SPACE, ' ', 0));
    EXPECT_EQ(key_read(), 'a');
    EXPECT_EQ(mode(), RUN_MODE);
    EXPECT_EQ(key_read(), 27);
    EXPECT_EQ(key_read(), ' ');
    EXPECT_EQ(mode(), RUN_MODE);
}

TEST_F(Keys, GiveAKeyWithoutACharacterAsTwoCodes) {
    type(key_record(VK_NEXT, 0, ENHANCED_KEY));
    EXPECT_EQ(key_read(), 0xE0);
    EXPECT_EQ(key_read(), 0x51);
}

// Ctrl+C typed while the read waits: the key record goes into the input only while processed
// input is off, as the console turns it into a control event otherwise.
TEST_F(Keys, GetCtrlCAsTheCode3WhileTheReadWaits) {
    std::thread typist([this] {
        for (int i = 0; i < 100000 && (mode() & ENABLE_PROCESSED_INPUT) != 0; ++i) Sleep(1);
        type(key_record('C', 3, LEFT_CTRL_PRESSED));
    });
    EXPECT_EQ(key_read(), 3);
    typist.join();
    EXPECT_EQ(mode(), RUN_MODE);
}

TEST(KeysWithoutConsole, AreLostAtOnceEveryTime) {
    EXPECT_EXIT(
        {
            FreeConsole();
            const bool drawing = console_open();
            const bool lost = key_read() == KEY_LOST && key_read() == KEY_LOST;
            std::exit(!drawing && lost ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
