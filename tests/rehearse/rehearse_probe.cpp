// Does what ciflash-rehearse must refuse, or ("status") prints the seal it runs under.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/capability.h>
#include <string>
#include <sys/io.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "console/command_line.h"
#include "link/registers.h"
#include "platform/port_access.h"

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--version") return print_version("rehearse_probe"), 0;
    if (mode == "status") {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("CapBnd:", 0) == 0 || line.rfind("NoNewPrivs:", 0) == 0)
                std::printf("%s ", line.c_str());
        return std::printf("CIFLASH_HISTORY=[%s] CIFLASH_LOCK=[%s]\n",
                           std::getenv("CIFLASH_HISTORY"), std::getenv("CIFLASH_LOCK")) < 0;
    }
    if (mode == "open" || mode == "path" || mode == "write")
        return open(argv[2], mode == "open"   ? O_RDONLY
                             : mode == "path" ? O_PATH
                                              : O_WRONLY | O_TRUNC) < 0;
    if (mode == "thread") std::thread([] { (void)ioperm(0x300, 4, 1), inb(0x301); }).join();
    if (mode == "child" && fork() == 0) _exit(0);
    if (mode == "wrong-window" || mode == "keep-permitted") {
        for (const uint16_t base : IO_BASES) ioperm(base, IO_WINDOW - (mode[0] == 'w'), 1);
    } else if (!port_access_open()) {
        return 1;
    }
    __user_cap_header_struct caps{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[2] = {};
    if (mode == "keep-permitted") {
        syscall(SYS_capget, &caps, sets);
        if (sets[0].permitted == 0) return 4;
        sets[0].effective = sets[1].effective = 0;
        syscall(SYS_capset, &caps, sets);
    }
    // in al,dx in code not writable, then rewritten through a second mapping; or in 32-bit code
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
