// Misuses the I/O ports for ciflash-rehearse to refuse: "wrong-window" asks for 3 ports per
// window, "outside" writes to port 0x80, "word", "rep-insb" and "prefixed" use other forms than
// a plain byte-wide access, "thread" and "child" access a port from another task, "devport"
// opens /dev/port. "status" prints its bounding set, no_new_privs and CIFLASH_HISTORY.
// --version names the images of the simulated module, as ciflash does.
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    if (mode == "--version") print_version("rehearse_probe");
    if (mode == "--version") return 0;
    if (mode == "status") {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("CapBnd:", 0) == 0 || line.rfind("NoNewPrivs:", 0) == 0)
                std::printf("%s\n", line.c_str());
        const char *history = std::getenv("CIFLASH_HISTORY");
        std::printf("CIFLASH_HISTORY=%s\n", history ? history : "(unset)");
        return 0;
    }
    if (mode == "devport") return open("/dev/port", O_RDWR) >= 0 ? 0 : 1;
    if (mode == "thread") std::thread([] { (void)ioperm(0x300, 4, 1), inb(0x301); }).join();
    if (mode == "child" && fork() == 0) _exit(inb(0x301));
    if (mode == "wrong-window") {
        for (const uint16_t base : IO_BASES) ioperm(base, IO_WINDOW - 1, 1);
    } else if (!port_access_open()) {
        return 1;
    }
    uint8_t buffer[2];
    void *to = buffer;
    unsigned long count = 2;
    if (mode == "outside") outb(0, 0x80);
    if (mode == "word") return inw(0x301);
    if (mode == "rep-insb")
        asm volatile("rep insb" : "+D"(to), "+c"(count) : "d"(0x301) : "memory");
    if (mode == "prefixed")
        asm volatile(".byte 0x3e\n\tinb %%dx, %%al" : "=a"(buffer[0]) : "d"(0x301));
    return inb(0x301);
}
