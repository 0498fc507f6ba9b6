// Does what ciflash-rehearse must refuse, or ("status") prints the seal it runs under.
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/io.h>
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
        return std::printf("CIFLASH_HISTORY=[%s]\n", std::getenv("CIFLASH_HISTORY")) < 0;
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
