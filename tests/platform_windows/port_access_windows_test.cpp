#include "link/port.h"
#include "platform/port_access.h"
#include "platform/port_access_windows.h"
#include "platform/port_windows.h"

#include <cstdio>
#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

using testing::EndsWith;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

const std::string WINDOWS = "ciflash: cannot open the I/O ports 0x300-0x303 0x320-0x323 "
                            "0x340-0x343 0x360-0x363 0x380-0x383: ";
const std::string FOLDER = "C:\\Tools\\ciflash";
const std::string LOADED = "C:\\Tools\\ciflash\\inpoutx64.dll";

TEST(PortDriverDiagnosis, SaysWhatIsMissingAndWhereTheDllGoes) {
    const std::string text =
        port_driver_diagnosis(DRIVER_DLL_MISSING, "inpoutx64.dll", 126, FOLDER);
    EXPECT_THAT(text, StartsWith(WINDOWS + "the port driver's DLL inpoutx64.dll was not found "
                                           "(Windows error 126).\n"));
    EXPECT_THAT(text, HasSubstr("this 64-bit ciflash needs its DLL inpoutx64.dll.\n"));
    EXPECT_THAT(text, HasSubstr("Put inpoutx64.dll next to ciflash.exe, in C:\\Tools\\ciflash, or "
                                "in a folder on PATH.\n"));
    EXPECT_THAT(text, HasSubstr("start ciflash\nonce as administrator"));
    EXPECT_THAT(text, EndsWith("\n"));
}

TEST(PortDriverDiagnosis, TellsADllThatDoesNotLoadFromOneThatIsNotThere) {
    const std::string text =
        port_driver_diagnosis(DRIVER_DLL_UNLOADABLE, "inpoutx64.dll", 193, FOLDER);
    EXPECT_THAT(text, StartsWith(WINDOWS + "the port driver's DLL inpoutx64.dll cannot be loaded "
                                           "(Windows error 193).\n"));
    EXPECT_THAT(text, HasSubstr("Put inpoutx64.dll next to ciflash.exe"));
    EXPECT_THAT(text, Not(HasSubstr("not found")));
}

TEST(PortDriverDiagnosis, NamesTheLoadedDllThatIsNotTheDriver) {
    const std::string text = port_driver_diagnosis(DRIVER_DLL_FOREIGN, LOADED, 0, FOLDER);
    EXPECT_THAT(text, StartsWith(WINDOWS + LOADED +
                                 " has no functions Inp32 and Out32: it is not the DLL of the "
                                 "InpOut port driver.\n"));
    EXPECT_THAT(text, HasSubstr("Put inpoutx64.dll next to ciflash.exe"));
    EXPECT_THAT(text, Not(HasSubstr("Windows error")));
}

TEST(PortDriverDiagnosis, SendsAClosedDriverToTheAdministratorNotToTheDllFolder) {
    const std::string text = port_driver_diagnosis(DRIVER_NOT_OPEN, LOADED, 0, FOLDER);
    EXPECT_THAT(text, StartsWith(WINDOWS + "the port driver's DLL " + LOADED +
                                 " is loaded, but its kernel driver is not running.\n"));
    EXPECT_THAT(text, HasSubstr("runs with administrator rights"));
    EXPECT_THAT(text, HasSubstr("memory integrity\n(Core Isolation)"));
    EXPECT_THAT(text, Not(HasSubstr("Put inpoutx64.dll")));
}

// The folder of the test program, where the stand-in DLLs have folders of their own.
std::string test_folder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string exe(path, length);
    return exe.substr(0, exe.find_last_of('\\'));
}

// The port driver's DLL is looked for in the program's folder, the system's and on PATH:
// PATH is made to hold only this folder.
void dll_folder_on_path(const std::string &folder) {
    SetEnvironmentVariableA("PATH", folder.c_str());
}

// Ports around and far from the windows.
constexpr uint16_t STRAY_PORTS[] = {0x0000, 0x02FF, 0x0304, 0x031F, 0x0384, 0xFFFF};

// Every port of the windows and the strays read 0xFF when nothing reaches the bus.
bool nothing_answers() {
    for (const uint16_t port : {uint16_t{0x300}, uint16_t{0x301}, uint16_t{0x383}})
        if (port_read(port) != 0xFF) return false;
    for (const uint16_t port : STRAY_PORTS)
        if (port_read(port) != 0xFF) return false;
    return true;
}

TEST(PortAccessOpen, ReportsAMissingDllAndOpensNoPort) {
    EXPECT_EXIT(
        {
            dll_folder_on_path(test_folder() + "\\no_driver_here");
            const bool opened = port_access_open();
            std::exit(!opened && !port_windows_open && nothing_answers() ? 1 : 0);
        },
        testing::ExitedWithCode(1),
        "cannot open the I/O ports.*inpoutx64.dll was not found \\(Windows error 126\\)");
}

TEST(PortAccessOpen, ReportsADllThatWindowsCannotLoad) {
    EXPECT_EXIT(
        {
            char temp[MAX_PATH];
            const std::string folder(temp, GetTempPathA(sizeof temp, temp));
            const std::string junk = folder + "ciflash_junk_driver";
            CreateDirectoryA(junk.c_str(), nullptr);
            std::FILE *dll = std::fopen((junk + "\\inpoutx64.dll").c_str(), "wb");
            std::fputs("not a program", dll);
            std::fclose(dll);
            dll_folder_on_path(junk);
            const bool opened = port_access_open();
            std::exit(!opened && nothing_answers() ? 1 : 0);
        },
        testing::ExitedWithCode(1), "inpoutx64.dll cannot be loaded \\(Windows error \\d+\\)");
}

TEST(PortAccessOpen, ReportsADllWithoutThePortFunctions) {
    EXPECT_EXIT(
        {
            dll_folder_on_path(test_folder() + "\\foreign_inpout");
            const bool opened = port_access_open();
            std::exit(!opened && nothing_answers() ? 1 : 0);
        },
        testing::ExitedWithCode(1),
        "foreign_inpout.inpoutx64.dll has no functions Inp32 and Out32");
}

TEST(PortAccessOpen, ReportsADriverThatIsNotRunning) {
    EXPECT_EXIT(
        {
            SetEnvironmentVariableA("FAKE_INPOUT_DRIVER", "closed");
            dll_folder_on_path(test_folder() + "\\fake_inpout");
            const bool opened = port_access_open();
            std::exit(!opened && nothing_answers() ? 1 : 0);
        },
        testing::ExitedWithCode(1),
        "fake_inpout.inpoutx64.dll is loaded, but its kernel driver "
        "is not running");
}

// Through the driver only the five windows reach the bus, each access exactly once.
TEST(PortAccessOpen, LetsTheWindowsAndNoOtherPortThroughTheDriver) {
    EXPECT_EXIT(
        {
            dll_folder_on_path(test_folder() + "\\fake_inpout");
            if (!port_access_open()) std::exit(2);
            for (const uint16_t stray : STRAY_PORTS) {
                port_write(stray, 0x00);
                if (port_read(stray) != 0xFF) std::exit(3);
            }
            port_write(0x301, 0x08);
            const uint8_t status = port_read(0x301);
            port_write(0x383, 0xFF);
            const uint8_t data = port_read(0x380);
            using Trace = const char *(*)();
            const auto trace = reinterpret_cast<Trace>(reinterpret_cast<void (*)()>(
                GetProcAddress(GetModuleHandleA("inpoutx64.dll"), "fake_inpout_trace")));
            const std::string accesses = trace();
            const std::string expected = "out 301 08, in 301, out 383 FF, in 380";
            if (accesses != expected || status != (0x301 ^ 0xA5) % 256 ||
                data != (0x380 ^ 0xA5) % 256) {
                std::fprintf(stderr, "bus: %s; read %02X %02X\n", accesses.c_str(), status, data);
                std::exit(4);
            }
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
