// The I/O ports on Windows: the diagnosis for each fault of the port driver, and the driver's
// DLL loaded by port_access_open from stand-ins that each test puts alone on PATH.
#include "link/port.h"
#include "platform/port_access.h"
#include "platform/port_access_windows.h"
#include "platform/port_windows.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

const std::string HEADLINE = "ciflash: cannot open the I/O ports 0x300-0x303 0x320-0x323 "
                             "0x340-0x343 0x360-0x363 0x380-0x383: ";
const std::string LOADED = "C:\\Tools\\ciflash\\inpoutx64.dll";
const std::string DRIVER = "Windows lets a program reach I/O ports only through a kernel driver. "
                           "ciflash uses the free\nInpOut32/InpOutx64 driver; this 64-bit ciflash "
                           "needs its DLL inpoutx64.dll.\n";
const std::string PUT = "Put inpoutx64.dll next to ciflash.exe, in C:\\Tools\\ciflash, or in a "
                        "folder on PATH.\n";
const std::string ADMIN = "The DLL installs its driver the first time it runs with administrator "
                          "rights: start ciflash\nonce as administrator (right-click, Run as "
                          "administrator).\n";
const std::string REFUSED = "If the driver still does not run, Windows refuses it, for instance "
                            "with memory integrity\n(Core Isolation) switched on.\n";

TEST(PortDriverDiagnosis, SaysWhatIsWrongAndWhatToDo) {
    const struct {
        PortDriverFault fault;
        std::string dll;
        unsigned long error;
        std::string text;
    } cases[] = {
        {DRIVER_DLL_MISSING, "inpoutx64.dll", 126,
         "the port driver's DLL inpoutx64.dll was not found (Windows error 126).\n" + DRIVER + PUT +
             ADMIN},
        {DRIVER_DLL_UNLOADABLE, "inpoutx64.dll", 193,
         "the port driver's DLL inpoutx64.dll cannot be loaded (Windows error 193).\n" + DRIVER +
             PUT + ADMIN},
        {DRIVER_DLL_FOREIGN, LOADED, 0,
         LOADED +
             " has no functions Inp32 and Out32: it is not the DLL of the InpOut port "
             "driver.\n" +
             DRIVER + PUT + ADMIN},
        {DRIVER_NOT_OPEN, LOADED, 0,
         "the port driver's DLL " + LOADED + " is loaded, but its kernel driver is not running.\n" +
             DRIVER + ADMIN + REFUSED},
    };
    for (const auto &c : cases)
        EXPECT_EQ(port_driver_diagnosis(c.fault, c.dll, c.error, "C:\\Tools\\ciflash"),
                  HEADLINE + c.text);
}

// PATH holds only this folder of the test program's, where the stand-ins lie.
void only_on_path(const char *folder) {
    char exe[MAX_PATH];
    const std::string path(exe, GetModuleFileNameA(nullptr, exe, sizeof exe));
    SetEnvironmentVariableA("PATH", (path.substr(0, path.find_last_of('\\') + 1) + folder).c_str());
}

// What port reads give, then the stand-in's trace of the accesses that reached it.
std::string accesses() {
    std::string text;
    for (const uint16_t port :
         {uint16_t{0x2FF}, uint16_t{0x300}, uint16_t{0x304}, uint16_t{0x383}, uint16_t{0x384}}) {
        port_write(port, 0x08);
        char read[8];
        std::snprintf(read, sizeof read, "%02X ", port_read(port));
        text += read;
    }
    using Trace = const char *(*)();
    const HMODULE dll = GetModuleHandleA("inpoutx64.dll");
    const auto trace = dll == nullptr ? nullptr
                                      : reinterpret_cast<Trace>(reinterpret_cast<void (*)()>(
                                            GetProcAddress(dll, "fake_inpout_trace")));
    return trace == nullptr ? text : text + trace();
}

// Exit code 1: refused with nothing through; 0: opened, and only the windows reach the bus.
int open_and_try_ports() {
    const bool opened = port_access_open();
    const std::string seen = accesses();
    if (seen ==
        (opened ? "FF A5 FF 26 FF out 300 08, in 300, out 383 08, in 383" : "FF FF FF FF FF "))
        return opened ? 0 : 1;
    std::fprintf(stderr, "ports: %s\n", seen.c_str());
    return 2;
}

TEST(PortAccessOpen, ExplainsEachFaultOfTheDriverAndLetsOnlyTheWindowsThrough) {
    const struct {
        const char *folder;
        const char *driver;
        int code;
        const char *diagnosis;
    } cases[] = {
        {"no_driver_here", "", 1, "inpoutx64.dll was not found \\(Windows error 126\\)"},
        {"junk_inpout", "", 1, "inpoutx64.dll cannot be loaded \\(Windows error \\d+\\)"},
        {"foreign_inpout", "", 1, "foreign_inpout.inpoutx64.dll has no functions Inp32 and Out32"},
        {"fake_inpout", "closed", 1, "fake_inpout.inpoutx64.dll is loaded, but its kernel driver"},
        {"fake_inpout", "", 0, "^$"},
    };
    for (const auto &c : cases) {
        EXPECT_EXIT(
            {
                only_on_path(c.folder);
                SetEnvironmentVariableA("FAKE_INPOUT_DRIVER", c.driver);
                std::exit(open_and_try_ports());
            },
            testing::ExitedWithCode(c.code), c.diagnosis)
            << c.folder;
    }
}

} // namespace
