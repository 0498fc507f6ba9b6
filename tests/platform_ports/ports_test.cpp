// The I/O ports on Linux: which ports reach the bus, the diagnosis when the windows cannot be
// opened, and the capabilities given up once they are.
#include "link/port.h"
#include "platform/port_access_linux.h"
#include "platform/port_windows.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

// Each window's first and last register, and the ports next to the windows and far away.
constexpr uint16_t IN_WINDOWS[] = {0x300, 0x303, 0x320, 0x323, 0x340,
                                   0x343, 0x360, 0x363, 0x380, 0x383};
constexpr uint16_t OUTSIDE[] = {0x0000, 0x02FF, 0x0304, 0x031F, 0x0324, 0x033F,
                                0x0344, 0x035F, 0x0364, 0x037F, 0x0384, 0xFFFF};

bool reads_ff(uint16_t port) {
    port_write(port, 0x08);
    return port_read(port) == 0xFF;
}

// The test process holds no I/O permission: a port access that reached the bus would kill the
// child with SIGSEGV instead of letting it exit with 0.
TEST(PortWindows, LetOnlyTheFiveWindowsThroughAndNothingBeforeTheyAreOpen) {
    int taken = 0;
    for (uint32_t port = 0; port <= 0xFFFF; ++port)
        taken += port_in_windows(static_cast<uint16_t>(port)) ? 1 : 0;
    EXPECT_EQ(taken, 5 * 4);
    for (const uint16_t port : IN_WINDOWS) EXPECT_TRUE(port_in_windows(port)) << port;
    for (const uint16_t port : OUTSIDE) EXPECT_FALSE(port_in_windows(port)) << port;
    EXPECT_EXIT(
        {
            bool all_ff = std::all_of(std::begin(IN_WINDOWS), std::end(IN_WINDOWS), reads_ff);
            port_windows_open = true;
            all_ff = all_ff && std::all_of(std::begin(OUTSIDE), std::end(OUTSIDE), reads_ff);
            std::exit(all_ff ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

const std::string EXE = "/opt/ci/bin/ciflash";
const std::string HEADLINE = "ciflash: cannot open the I/O ports 0x300-0x303 0x320-0x323 "
                             "0x340-0x343 0x360-0x363 0x380-0x383: ";
const std::string NOT_ROOT = "The process is not root (effective user id 1000) and lacks the "
                             "capability CAP_SYS_RAWIO.\n";
const std::string ROOT = "The process runs as root but lacks the capability CAP_SYS_RAWIO "
                         "(withheld by a\ncontainer or the capability bounding set).\n";
const std::string HAS_CAP = "The process has the capability CAP_SYS_RAWIO, yet the kernel "
                            "refuses.\n";
const std::string WAYS_OUT = "Two ways out:\n  run it as root with full capabilities:  sudo " +
                             EXE +
                             "\n  or give the program the capability once:  sudo setcap "
                             "cap_sys_rawio+ep " +
                             EXE + "\n";
const std::string NO_MODE = "Kernel lockdown, often switched on by Secure Boot, forbids I/O "
                            "port access even to\nroot; this kernel reports no lockdown mode.\n";
const std::string OFF = "Kernel lockdown is off (mode: none); where it is on, often through "
                        "Secure Boot, it\nforbids I/O port access even to root.\n";
std::string active(const std::string &mode) {
    return "Kernel lockdown is active (mode: " + mode +
           "): it forbids I/O port access even to "
           "root.\nIt is usually switched on by Secure Boot; ciflash needs Secure Boot off or a "
           "kernel\nwithout lockdown.\n";
}
const std::string NO_PORTS = "The kernel has no I/O port access (ioperm fails with ENOSYS): it "
                             "was built without\nI/O port support (CONFIG_X86_IOPL_IOPERM), or "
                             "the machine has no I/O ports.\nNeither root nor a capability "
                             "helps; ciflash needs a kernel with I/O port support.\n";

TEST(PortAccessDiagnosis, NamesTheCauseAndTheWaysOut) {
    const struct {
        int error;
        uid_t euid;
        bool has_cap;
        const char *lockdown;
        std::string reason;
    } cases[] = {
        {EPERM, 1000, false, "", NOT_ROOT + WAYS_OUT + NO_MODE},
        {EPERM, 0, false, "[none] integrity confidentiality\n", ROOT + WAYS_OUT + OFF},
        {EPERM, 0, true, "none [integrity] confidentiality\n", HAS_CAP + active("integrity")},
        {EINVAL, 1000, true, "none integrity [confidentiality]\n",
         HAS_CAP + active("confidentiality")},
        {EPERM, 1000, true, "none [integrity", HAS_CAP + NO_MODE},
        {ENOSYS, 1000, false, "none [integrity] confidentiality\n", NO_PORTS},
    };
    for (const auto &c : cases)
        EXPECT_EQ(port_access_diagnosis(c.error, c.euid, c.has_cap, c.lockdown, EXE),
                  HEADLINE + std::strerror(c.error) + "\n" + c.reason);
}

// A field of /proc/self/status, e.g. "0000000000000000" for "CapEff".
std::string status_field(const std::string &name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(name + ":"))
            return line.substr(line.find_first_not_of(" \t", name.size() + 1));
    return "";
}

TEST(PortAccessDropCaps, LeavesEveryCapabilitySetEmpty) {
    if ((std::strtoull(status_field("CapEff").c_str(), nullptr, 16) & (1ull << 8)) == 0)
        GTEST_SKIP() << "needs CAP_SETPCAP, to change the bounding set";
    EXPECT_EXIT(
        {
            bool empty = port_access_drop_caps() && status_field("NoNewPrivs") == "1";
            for (const char *set : {"CapInh", "CapPrm", "CapEff", "CapBnd", "CapAmb"})
                empty = empty && status_field(set) == "0000000000000000";
            std::exit(empty ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
