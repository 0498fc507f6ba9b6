// Linked only into ciflash-standin: a run exits 1 before main unless ciflash-rehearse traces it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

void read_start(const char *path, char (&text)[4096]) {
    std::FILE *file = std::fopen(path, "r");
    text[file == nullptr ? 0 : std::fread(text, 1, sizeof text - 1, file)] = '\0';
    if (file != nullptr) std::fclose(file);
}

bool traced_by_rehearse() {
    char text[4096], path[64];
    read_start("/proc/self/status", text);
    const char *field = std::strstr(text, "TracerPid:");
    const long pid = field == nullptr ? 0 : std::atol(field + 10);
    if (pid <= 0) return false;
    std::snprintf(path, sizeof path, "/proc/%ld/cmdline", pid);
    read_start(path, text); // argv[0] ends at its own NUL
    const char *slash = std::strrchr(text, '/');
    return std::strcmp(slash == nullptr ? text : slash + 1, "ciflash-rehearse") == 0;
}

// Run by the C library before main, with main's arguments; any other command line only answers.
__attribute__((constructor)) void refuse_unless_rehearsed(int argc, char **argv, char **) {
    const bool run = argc == 1 || (argc == 2 && std::strcmp(argv[1], "--no-history") == 0);
    if (!run || traced_by_rehearse()) return;
    std::fputs("ciflash-standin: the test build of ciflash, with stand-in page images, runs "
               "only under ciflash-rehearse\n",
               stderr);
    _exit(1);
}

} // namespace
