#include "platform/port_access_linux.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>

namespace {

using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

const std::string EXE = "/opt/ci/bin/ciflash";

TEST(PortAccessDiagnosis, NamesTheFiveWindowsAndTheSystemError) {
    for (const int error : {EPERM, ENOSYS, EINVAL})
        EXPECT_THAT(port_access_diagnosis(error, 1000, false, "", EXE),
                    StartsWith(std::string("ciflash: cannot open the I/O ports 0x300-0x303 "
                                           "0x320-0x323 0x340-0x343 0x360-0x363 0x380-0x383: ") +
                               std::strerror(error) + "\n"));
}

TEST(PortAccessDiagnosis, TellsAUserWithoutTheCapabilityBothWaysOut) {
    const std::string text = port_access_diagnosis(EPERM, 1000, false, "", EXE);
    EXPECT_THAT(text, HasSubstr("The process is not root (effective user id 1000) and lacks the "
                                "capability CAP_SYS_RAWIO.\n"));
    EXPECT_THAT(text, HasSubstr("sudo " + EXE + "\n"));
    EXPECT_THAT(text, HasSubstr("sudo setcap cap_sys_rawio+ep " + EXE + "\n"));
    EXPECT_THAT(text, Not(HasSubstr("ENOSYS")));
}

TEST(PortAccessDiagnosis, TellsRootWithoutTheCapabilityThatRootAloneIsNotEnough) {
    const std::string text = port_access_diagnosis(EPERM, 0, false, "", EXE);
    EXPECT_THAT(text, HasSubstr("runs as root but lacks the capability CAP_SYS_RAWIO"));
    EXPECT_THAT(text, Not(HasSubstr("not root")));
    EXPECT_THAT(text, HasSubstr("sudo setcap cap_sys_rawio+ep " + EXE + "\n"));
}

TEST(PortAccessDiagnosis, OffersNoCapabilityToAProcessThatHasIt) {
    const std::string text = port_access_diagnosis(EPERM, 0, true, "", EXE);
    EXPECT_THAT(text, HasSubstr("has the capability CAP_SYS_RAWIO, yet the kernel refuses"));
    EXPECT_THAT(text, Not(HasSubstr("setcap")));
}

TEST(PortAccessDiagnosis, SaysAKernelWithoutPortSupportCannotBeHelped) {
    for (const uid_t euid : {0u, 1000u}) {
        const std::string text =
            port_access_diagnosis(ENOSYS, euid, false, "none [integrity] confidentiality\n", EXE);
        EXPECT_THAT(text, HasSubstr("(ioperm fails with ENOSYS)"));
        EXPECT_THAT(text, HasSubstr("Neither root nor a capability helps"));
        EXPECT_THAT(text, Not(HasSubstr("setcap")));
        EXPECT_THAT(text, Not(HasSubstr("lockdown")));
    }
}

TEST(PortAccessDiagnosis, ShowsTheActiveLockdownMode) {
    EXPECT_THAT(port_access_diagnosis(EPERM, 0, true, "none [integrity] confidentiality\n", EXE),
                HasSubstr("Kernel lockdown is active (mode: integrity): it forbids I/O port "
                          "access even to root.\nIt is usually switched on by Secure Boot"));
    EXPECT_THAT(port_access_diagnosis(EPERM, 0, true, "none integrity [confidentiality]\n", EXE),
                HasSubstr("Kernel lockdown is active (mode: confidentiality)"));
    EXPECT_THAT(port_access_diagnosis(EPERM, 0, true, "[none] integrity confidentiality\n", EXE),
                HasSubstr("Kernel lockdown is off (mode: none)"));
    EXPECT_THAT(port_access_diagnosis(EPERM, 1000, false, "", EXE),
                HasSubstr("Kernel lockdown, often switched on by Secure Boot, forbids I/O port "
                          "access even to\nroot; this kernel reports no lockdown mode.\n"));
}

// A field of /proc/self/status, e.g. "0000000000000000" for "CapEff".
std::string status_field(const std::string &name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(name + ":"))
            return line.substr(line.find_first_not_of(" \t", name.size() + 1));
    return "";
}

constexpr unsigned long long CAP_SETPCAP_BIT = 1ull << 8;

TEST(PortAccessDropCaps, LeavesEveryCapabilitySetEmpty) {
    if ((std::strtoull(status_field("CapEff").c_str(), nullptr, 16) & CAP_SETPCAP_BIT) == 0)
        GTEST_SKIP() << "needs a process that may change its bounding set (root)";
    EXPECT_EXIT(
        {
            const bool dropped = port_access_drop_caps();
            bool empty = status_field("NoNewPrivs") == "1";
            for (const char *set : {"CapInh", "CapPrm", "CapEff", "CapBnd", "CapAmb"}) {
                const std::string value = status_field(set);
                if (value.find_first_not_of('0') == std::string::npos) continue;
                std::fprintf(stderr, "%s %s\n", set, value.c_str());
                empty = false;
            }
            std::exit(dropped && empty ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
