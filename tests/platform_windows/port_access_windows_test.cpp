// The I/O ports on Windows: the port driver's DLL loaded by port_access_open from stand-ins
// that each test puts alone on PATH, and the diagnosis for each fault of the driver.
#include "link/port.h"
#include "platform/port_access.h"
#include "platform/port_access_windows.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

// Opens the ports with only `folder` (next to the test program) on PATH, then reads ports
// around the first and last window. Exit code 1: refused with nothing through; 0: opened,
// and only the windows reached the stand-in, whose trace follows the values read.
int open_and_try_ports(const char *folder) {
    char exe[MAX_PATH];
    const std::string path(exe, GetModuleFileNameA(nullptr, exe, sizeof exe));
    SetEnvironmentVariableA("PATH", (path.substr(0, path.find_last_of('\\') + 1) + folder).c_str());
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
    const struct { const char *folder, *driver; int code; const char *diagnosis; } cases[] = {
        {"no_driver_here", nullptr, 1, "was not found \\(Windows error 126\\)\\.\nWindows lets.*\n"
         "InpOut.*\nPut inpoutx64.dll next to ciflash.exe, in "},
        {"fake_inpout", "closed", 1, "fake_inpout.inpoutx64.dll is loaded, but its kernel driver "
         "is not running\\.\nWindows lets.*\nInpOut.*\nThe DLL installs.*\nonce.*\nIf "},
        {"fake_inpout", nullptr, 0, "^$"}};
    // clang-format on
    for (const auto &c : cases)
        EXPECT_EXIT(
            {
                SetEnvironmentVariableA("FAKE_INPOUT_DRIVER", c.driver);
                std::exit(open_and_try_ports(c.folder));
            },
            testing::ExitedWithCode(c.code), c.diagnosis)
            << c.folder;
}

} // namespace
