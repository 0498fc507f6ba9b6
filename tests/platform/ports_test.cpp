#include "link/port.h"
#include "platform/port_access.h"
#include "platform/port_access_linux.h"
#include "platform/port_windows.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <regex>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

bool reads_ff(uint16_t port) {
    port_write(port, 0x08);
    return port_read(port) == 0xFF;
}

TEST(PortWindows, LetOnlyTheFiveWindowsThroughAndNothingBeforeTheyAreOpen) {
    int taken = 0;
    for (uint32_t port = 0; port <= 0xFFFF; ++port) taken += port_in_windows(uint16_t(port));
    EXPECT_EQ(taken, 20);
    constexpr uint16_t ends[] = {0x300, 0x323, 0x383}, next_to[] = {0x2FF, 0x304, 0x35F, 0x384};
    EXPECT_EXIT(
        {
            const bool shut = std::ranges::all_of(ends, reads_ff);
            port_windows_open = true;
            std::exit(shut && std::ranges::all_of(next_to, reads_ff) ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(PortAccessDiagnosis, NamesTheCauseAndTheWaysOut) {
    // clang-format off
    const struct { int error; uid_t euid; bool has_cap; const char *lockdown; std::string text; }
    cases[] = {
        {EPERM, 0, false, "[none] integrity confidentiality\n", "The process runs as root but "
         "lacks the capability CAP_SYS_RAWIO (withheld by a\ncontainer or the capability bounding "
         "set).\nTwo ways out:\n  run it as root with full capabilities:  sudo /x\n  or give the "
         "program the capability once:  sudo setcap cap_sys_rawio+ep /x\nKernel lockdown is off "
         "(mode: none); where it is on, often through Secure Boot, it\nforbids I/O port access "
         "even to root.\n"},
        {EPERM, 1000, true, "none [integrity] confidentiality\n", "The process has the capability "
         "CAP_SYS_RAWIO, yet the kernel refuses.\nKernel lockdown is active (mode: integrity): it "
         "forbids I/O port access even to root.\nIt is usually switched on by Secure Boot; ciflash "
         "needs Secure Boot off or a kernel\nwithout lockdown.\n"},
        {ENOSYS, 0, false, "[none]", "The kernel has no I/O port access (ioperm fails with "
         "ENOSYS): it was built without\nI/O port support (CONFIG_X86_IOPL_IOPERM), or the machine "
         "has no I/O ports.\nNeither root nor a capability helps; ciflash needs a kernel with I/O "
         "port support.\n"}};
    // clang-format on
    for (const auto &c : cases)
        EXPECT_EQ(port_access_diagnosis(c.error, c.euid, c.has_cap, c.lockdown, "/x"),
                  port_refusal_headline() + std::strerror(c.error) + "\n" + c.text);
}

TEST(PortAccessDropCaps, LeavesEveryCapabilitySetEmptyAndNoNewPrivileges) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to change the bounding set";
    const std::regex emptied("CapInh:\t0{16}\nCapPrm:\t0{16}\nCapEff:\t0{16}\nCapBnd:\t(0{16})?"
                             ".*\nCapAmb:\t0{16}\nNoNewPrivs:\t1\n");
    for (const bool refused : {false, true})
        EXPECT_EXIT(
            {
                // Refused windows: root kept its capabilities only permitted, as nobody.
                if (refused && (prctl(PR_SET_KEEPCAPS, 1) || setresuid(65534, 65534, 65534)))
                    std::exit(2);
                const bool dropped = refused ? !port_access_open() : port_access_drop_caps();
                std::ifstream status("/proc/self/status");
                const std::string text((std::istreambuf_iterator<char>(status)), {});
                std::smatch m;
                const bool ok = std::regex_search(text, m, emptied) && (refused || m[1].matched);
                std::exit(dropped && ok ? 0 : 1);
            },
            testing::ExitedWithCode(0), "");
}

} // namespace
