// The port permission bits survive the capability drop, so the rest of the run holds nothing
// but them; a root process stays root, without capabilities.
#include "platform/port_access_linux.h"
#include "platform/port_access.h"
#include "platform/port_windows.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(__i386__) || defined(__x86_64__)
#include <sys/io.h>
#endif

namespace {

using CapSets = __user_cap_data_struct[_LINUX_CAPABILITY_U32S_3];

bool caps_read(CapSets &sets) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, sets) == 0;
}

bool caps_clear() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    CapSets none{};
    return syscall(SYS_capset, &header, none) == 0;
}

bool cap_effective(const CapSets &sets, int cap) {
    return (sets[CAP_TO_INDEX(cap)].effective & CAP_TO_MASK(cap)) != 0;
}

// The number of capabilities this kernel knows: the bounding set answers for each of them.
unsigned long cap_count() {
    unsigned long count = 0;
    while (prctl(PR_CAPBSET_READ, count, 0, 0, 0) >= 0) ++count;
    return count;
}

#if defined(__i386__) || defined(__x86_64__)
int window_open(uint16_t base) {
    return ioperm(base, IO_WINDOW, 1);
}
#else
// This machine has no I/O port space.
int window_open(uint16_t) {
    errno = ENOSYS;
    return -1;
}
#endif

// The active mode in the kernel's lockdown file ("integrity" from
// "none [integrity] confidentiality"); empty when the kernel reports none.
std::string_view lockdown_mode(std::string_view text) {
    const size_t open = text.find('[');
    const size_t close = text.find(']', open);
    if (open == std::string_view::npos || close == std::string_view::npos) return {};
    return text.substr(open + 1, close - open - 1);
}

std::string file_text(const char *path) {
    FILE *file = std::fopen(path, "r");
    if (file == nullptr) return {};
    char buffer[256];
    const size_t length = std::fread(buffer, 1, sizeof buffer, file);
    std::fclose(file);
    return std::string(buffer, length);
}

std::string own_path() {
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0) return "ciflash";
    return std::string(buffer, static_cast<size_t>(length));
}

void diagnose_open_failure(int error, bool has_cap) {
    const std::string text = port_access_diagnosis(
        error, geteuid(), has_cap, file_text("/sys/kernel/security/lockdown"), own_path());
    std::fputs(text.c_str(), stderr);
}

} // namespace

std::string port_access_diagnosis(int error, uid_t euid, bool has_cap_sys_rawio,
                                  std::string_view lockdown, std::string_view exe_path) {
    std::string text = port_refusal_headline();
    text += std::strerror(error);
    text += '\n';

    if (error == ENOSYS) {
        text +=
            "The kernel has no I/O port access (ioperm fails with ENOSYS): it was built without\n"
            "I/O port support (CONFIG_X86_IOPL_IOPERM), or the machine has no I/O ports.\n"
            "Neither root nor a capability helps; ciflash needs a kernel with I/O port "
            "support.\n";
        return text;
    }

    if (has_cap_sys_rawio) {
        text += "The process has the capability CAP_SYS_RAWIO, yet the kernel refuses.\n";
    } else if (euid == 0) {
        text += "The process runs as root but lacks the capability CAP_SYS_RAWIO (withheld by a\n"
                "container or the capability bounding set).\n";
    } else {
        text += "The process is not root (effective user id " + std::to_string(euid) +
                ") and lacks the capability CAP_SYS_RAWIO.\n";
    }
    if (!has_cap_sys_rawio) {
        text += "Two ways out:\n  run it as root with full capabilities:  sudo ";
        text += exe_path;
        text += "\n  or give the program the capability once:  sudo setcap cap_sys_rawio+ep ";
        text += exe_path;
        text += '\n';
    }

    const std::string_view mode = lockdown_mode(lockdown);
    if (mode.empty()) {
        text += "Kernel lockdown, often switched on by Secure Boot, forbids I/O port access even "
                "to\nroot; this kernel reports no lockdown mode.\n";
    } else if (mode == "none") {
        text += "Kernel lockdown is off (mode: none); where it is on, often through Secure Boot, "
                "it\nforbids I/O port access even to root.\n";
    } else {
        text += "Kernel lockdown is active (mode: ";
        text += mode;
        text += "): it forbids I/O port access even to root.\n"
                "It is usually switched on by Secure Boot; ciflash needs Secure Boot off or a "
                "kernel\nwithout lockdown.\n";
    }
    return text;
}

bool port_access_drop_caps() {
    CapSets sets{};
    if (!caps_read(sets)) return false;
    const bool may_bound = cap_effective(sets, CAP_SETPCAP);
    const unsigned long count = cap_count();
    if (may_bound)
        for (unsigned long cap = 0; cap < count; ++cap) prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    if (!caps_clear() || prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;

    if (!caps_read(sets)) return false;
    for (const auto &set : sets)
        if ((set.effective | set.permitted | set.inheritable) != 0) return false;
    for (unsigned long cap = 0; cap < count; ++cap) {
        if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_IS_SET, cap, 0, 0) > 0) return false;
        if (may_bound && prctl(PR_CAPBSET_READ, cap, 0, 0, 0) != 0) return false;
    }
    return prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) == 1;
}

bool port_access_none() {
    if (port_access_drop_caps()) return true;
    std::fputs("ciflash: giving up the process's capabilities could not be verified; ciflash "
               "does not\nrun with more privilege than opening the I/O ports needs.\n",
               stderr);
    return false;
}

bool port_access_open() {
    int error = 0;
    for (const uint16_t base : IO_BASES)
        if (error == 0 && window_open(base) != 0) error = errno;
    CapSets sets{};
    const bool has_cap = caps_read(sets) && cap_effective(sets, CAP_SYS_RAWIO);
    // The capabilities go before anything else is done, on failure too.
    const bool dropped = port_access_none();
    if (error != 0) diagnose_open_failure(error, has_cap);
    port_windows_open = error == 0 && dropped;
    return port_windows_open;
}
