// Linked only into ciflash-standin, the hardware program that the tests build with the
// stand-in page images (pseudo-random bytes, not firmware). Before main runs, it ends the
// program with exit code 1 unless ciflash-rehearse traces it: the process's tracer (TracerPid
// in /proc/self/status) must run a program whose name (argv[0] without its folders) is
// ciflash-rehearse. So the stand-ins reach the simulated module only, never a real one.
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

long tracer_pid() {
    std::FILE *status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return 0;
    long pid = 0;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::sscanf(line, "TracerPid: %ld", &pid) == 1) break;
    std::fclose(status);
    return pid;
}

bool traced_by_rehearse() {
    const long pid = tracer_pid();
    if (pid <= 0) return false;
    char path[64], name[4096] = "";
    std::snprintf(path, sizeof path, "/proc/%ld/cmdline", pid);
    std::FILE *cmdline = std::fopen(path, "r");
    if (cmdline == nullptr) return false;
    const size_t got = std::fread(name, 1, sizeof name - 1, cmdline);
    std::fclose(cmdline);
    name[got] = '\0'; // argv[0] ends at its own NUL
    const char *slash = std::strrchr(name, '/');
    return std::strcmp(slash == nullptr ? name : slash + 1, "ciflash-rehearse") == 0;
}

bool refuse_unless_rehearsed() {
    if (traced_by_rehearse()) return true;
    std::fputs("ciflash-standin: the test build of ciflash, with stand-in page images instead of "
               "firmware.\nIt runs only under ciflash-rehearse: ciflash-rehearse -- "
               "ciflash-standin\n",
               stderr);
    _exit(1);
}

[[maybe_unused]] const bool rehearsed = refuse_unless_rehearsed();

} // namespace
