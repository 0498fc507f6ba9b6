// Does what ciflash-rehearse must refuse, or ("status") prints the seal it runs under. It makes
// only calls of ciflash's allow-list besides the ones tested.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <string>
#include <sys/io.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

#include "console/command_line.h"
#include "link/registers.h"
#include "platform/port_access.h"

// The lines of /proc/self/status starting with `start`, each ended by a space.
std::string status(const char *start) {
    std::string lines;
    char line[256];
    std::FILE *file = std::fopen("/proc/self/status", "r");
    while (file && std::fgets(line, sizeof line, file))
        if (std::strncmp(line, start, std::strlen(start)) == 0)
            lines += std::string(line, std::strcspn(line, "\n")) + " ";
    if (file) std::fclose(file);
    return lines;
}

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    // Called as `other`, it names no images.
    if (mode == "--version") {
        if (!std::strstr(argv[0], "other")) print_version("rehearse_probe");
        return 0;
    }
    if (mode == "exec") return execv(argv[2], argv + 2);
    if (mode == "status")
        return std::printf("%s%sCIFLASH_HISTORY=[%s]\n", status("Cap").c_str(),
                           status("NoNewPrivs:").c_str(), std::getenv("CIFLASH_HISTORY")) < 0;
    // Calls outside the allow-list, every argument given (the refusal shows all six).
    const long parent = std::atol(status("PPid:").c_str() + 5);
    const char *path = argc > 2 ? argv[2] : "";
    uint64_t area[16] = {};
    struct stat file {};
    sock_filter allow = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    const sock_fprog filter{1, &allow};
    if (mode == "seize") syscall(SYS_ptrace, PTRACE_SEIZE, parent, 0, 0, 0, 0);
    if (mode == "stop") syscall(SYS_kill, parent, SIGSTOP, 0, 0, 0, 0);
    if (mode == "seccomp")
        syscall(SYS_prctl, PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter, 0, 0, 0);
    if (mode == "creat") syscall(SYS_creat, path, 0600, 0, 0, 0, 0);
    if (mode == "uring") syscall(SYS_io_uring_setup, 1, area, 0, 0, 0, 0);
    if (mode == "ldt") syscall(SYS_modify_ldt, 1, area, 16, 0, 0, 0);
    if (mode == "mknod") syscall(SYS_mknod, path, S_IFCHR | 0600, makedev(1, 4), 0, 0, 0);
    if (mode == "x32") syscall(0x40000000 | SYS_getpid, 0, 0, 0, 0, 0, 0);
    if (mode == "int80")
        asm volatile("int $0x80" ::"a"(20), "b"(0), "c"(0), "d"(0), "S"(0), "D"(0));
    if (mode == "tgkill") syscall(SYS_tgkill, parent, parent, SIGSTOP, 0, 0, 0);
    if (mode == "own") return raise(SIGWINCH);
    if (mode == "fds") { // the descriptors open among the first 64
        for (int fd = 0; fd < 64; ++fd) std::printf(fstat(fd, &file) == 0 ? "%d " : "", fd);
        return std::puts("open") < 0;
    }
    if (mode == "environ") { // the supervisor's environment
        const int fd = open(("/proc/" + std::to_string(parent) + "/environ").c_str(), O_RDONLY);
        return std::printf("environ: %s\n", fd < 0 ? std::strerror(errno) : "read") < 0;
    }
    if (mode == "fchmod") {
        const bool done = fchmod(open(path, O_RDONLY), 0666) == 0;
        return std::printf("fchmod: %s\n", done ? "done" : std::strerror(errno)) < 0;
    }
    if (mode == "devport") return open("/dev/port", O_RDWR) >= 0 ? 0 : 1;
    if (mode == "thread") std::thread([] { (void)ioperm(0x300, 4, 1), inb(0x301); }).join();
    if (mode == "child" && fork() == 0) _exit(0);
    if (mode == "wrong-window") {
        for (const uint16_t base : IO_BASES) ioperm(base, IO_WINDOW - 1, 1);
    } else if (!port_access_open()) {
        return 1;
    }
    uint8_t buffer[2];
    if (mode == "outside") outb(0, 0x80);
    if (mode == "word") return inw(0x301);
    if (mode == "dword") return static_cast<int>(inl(0x301));
    if (mode == "rep-insb") asm volatile("rep insb" ::"D"(buffer), "c"(2), "d"(0x301) : "memory");
    if (mode == "prefixed") asm volatile(".byte 0x3e\n\tinb %%dx, %%al" ::"d"(0x301) : "eax");
    return inb(0x301);
}
