#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/seccomp.h>
#include <string>
#include <sys/io.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

#include "link/registers.h"
#include "platform/port_access.h"
#include "run/command_line.h"

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--version") {
        if (!std::strstr(argv[0], "other")) print_version("rehearse_probe");
        return 0;
    }
    if (mode == "exec") return execv(argv[2], argv + 2);
    if (mode == "status") {
        raise(SIGWINCH);
        std::FILE *status = std::fopen("/proc/self/status", "r");
        for (char line[256]; std::fgets(line, 256, status);)
            if (!std::strncmp(line, "Cap", 3) || !std::strncmp(line, "NoNewPrivs", 10))
                std::printf("%.*s ", static_cast<int>(std::strcspn(line, "\n")), line);
        std::fclose(status);
        struct stat file {};
        for (int fd = 0; fd < 64; ++fd) std::printf(fstat(fd, &file) == 0 ? "%d " : "", fd);
        return std::printf("CIFLASH_HISTORY=[%s] CIFLASH_LOCK=[%s]\n",
                           std::getenv("CIFLASH_HISTORY"), std::getenv("CIFLASH_LOCK")) < 0;
    }
    if (mode == "open" || mode == "path" || mode == "write")
        return open(argv[2], mode == "open"   ? O_RDONLY
                             : mode == "path" ? O_PATH
                                              : O_WRONLY | O_TRUNC) < 0;
    long parent = 0;
    if (!std::fscanf(std::fopen("/proc/self/stat", "r"), "%*d %*s %*c %ld", &parent)) return 1;
    const long path = reinterpret_cast<long>(argc > 2 ? argv[2] : "");
    const long calls[][4] = {{SYS_ptrace, PTRACE_SEIZE, parent, 0},
                             {SYS_kill, parent, SIGSTOP, 0},
                             {SYS_tgkill, parent, parent, SIGSTOP},
                             {SYS_prctl, PR_SET_SECCOMP, SECCOMP_MODE_FILTER, 0},
                             {SYS_creat, path, 0600, 0},
                             {SYS_io_uring_setup, 1, 0, 0},
                             {SYS_modify_ldt, 1, 0, 16},
                             {SYS_mknod, path, S_IFCHR | 0600, makedev(1, 4)}};
    for (const auto &c : calls)
        if (mode == std::to_string(c[0])) syscall(c[0], c[1], c[2], c[3], 0, 0, 0);
    if (mode == "int80") asm volatile("int $0x80" ::"a"(3), "b"(-1)); // read, 64-bit close
    if (mode == "environ") open(("/proc/" + std::to_string(parent) + "/environ").c_str(), O_RDONLY);
    if (mode == "fchmod") fchmod(open(argv[2], O_RDONLY), 0666);
    if (mode == "environ" || mode == "fchmod") return std::puts(std::strerror(errno)) < 0;
    if (mode == "thread") std::thread([] { (void)ioperm(0x300, 4, 1), inb(0x301); }).join();
    if (mode == "child" && fork() == 0) _exit(0);
    if (mode == "wrong-window") {
        for (const uint16_t base : IO_BASES) ioperm(base, IO_WINDOW - 1, 1);
    } else if (!port_access_open()) {
        return 1;
    }
    uint8_t *code = static_cast<uint8_t *>(
        mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS | MAP_32BIT, -1, 0));
    uint8_t *alias = static_cast<uint8_t *>(mremap(code, 0, 4096, MREMAP_MAYMOVE));
    std::memcpy(code, "\xEC\xC3", 2);
    mprotect(code, 4096, PROT_READ | PROT_EXEC);
    for (int run = mode == "rewrite" ? 0 : 2; run < 2; ++run, alias[0] = 0xED)
        asm volatile("sub $128, %%rsp\n\tcall *%0\n\tadd $128, %%rsp" ::"r"(code), "d"(0x301)
                     : "eax", "memory");
    if (mode == "segment")
        asm volatile("push $0x23\n\tpush %0\n\tlretq" ::"r"(uint64_t{uintptr_t(code)}), "d"(0x301));
    uint8_t buffer[2];
    if (mode == "outside") outb(0, 0x80);
    if (mode == "word") return inw(0x301);
    if (mode == "dword") return static_cast<int>(inl(0x301));
    if (mode == "rep-insb") asm volatile("rep insb" ::"D"(buffer), "c"(2), "d"(0x301) : "memory");
    if (mode == "prefixed") asm volatile(".byte 0x3e\n\tinb %%dx, %%al" ::"d"(0x301) : "eax");
    return inb(0x301);
}
