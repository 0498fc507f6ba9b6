#include "link/port.h"
#include "platform/port_access.h"
#include "platform/port_access_windows.h"
#include "platform/reader_lock.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

std::string test_folder() {
    char exe[MAX_PATH];
    const std::string path(exe, GetModuleFileNameA(nullptr, exe, sizeof exe));
    return path.substr(0, path.find_last_of('\\') + 1);
}

// 1: refused, nothing through; 0: only the windows reached the DLL.
int open_and_try_ports(bool beside) {
    const std::string folder = test_folder(), stand_in = folder + "fake_inpout\\inpoutx64.dll";
    SetEnvironmentVariableA("PATH", (folder + "fake_inpout").c_str());
    if (beside) CopyFileA(stand_in.c_str(), (folder + "inpoutx64.dll").c_str(), FALSE);
    const bool opened = port_access_open();
    char seen[256] = "";
    for (const uint16_t port : std::initializer_list<uint16_t>{0x2FF, 0x300, 0x304, 0x383, 0x384}) {
        port_write(port, 0x08);
        std::snprintf(seen + std::strlen(seen), 4, "%02X ", port_read(port));
    }
    const auto trace =
        reinterpret_cast<const char *>(GetProcAddress(GetModuleHandleA("inpoutx64.dll"), "trace"));
    const std::string all = seen + std::string(trace == nullptr ? "" : trace);
    if (!opened) return all == "FF FF FF FF FF " ? 1 : 2;
    return all == "FF A5 FF 26 FF out 300 08, in 300, out 383 08, in 383, " ? 0 : 2;
}

TEST(PortAccessOpen, ExplainsEachFaultOfTheDriverAndLetsOnlyTheWindowsThrough) {
    // clang-format off
    const struct { bool beside; const char *driver; int code; const char *diagnosis; } cases[] = {
        {false, nullptr, 1, "was not found \\(Windows error 126\\)"},
        {true, "closed", 1, "is loaded, but its kernel driver is not running"},
        {true, nullptr, 0, "^$"}};
    // clang-format on
    DeleteFileA((test_folder() + "inpoutx64.dll").c_str());
    for (const auto &c : cases)
        EXPECT_EXIT(
            {
                SetEnvironmentVariableA("FAKE_INPOUT_DRIVER", c.driver);
                std::exit(open_and_try_ports(c.beside));
            },
            testing::ExitedWithCode(c.code), c.diagnosis)
            << (c.beside ? "beside the program" : "on PATH only");
    DeleteFileA((test_folder() + "inpoutx64.dll").c_str());
}

TEST(ReaderLock, RefusesASecondProcess) {
    const bool taken = reader_lock_take();
    EXPECT_EXIT(std::exit(taken ? 0 : 3), testing::ExitedWithCode(3),
                "^ciflash: another ciflash is using the reader\\.\nLet it end, then start "
                "ciflash again\\.\n$");
    EXPECT_TRUE(taken);
}

} // namespace
