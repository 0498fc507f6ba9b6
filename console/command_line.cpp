#include "console/command_line.h"

#include <cstdio>
#include <cstring>

#include "protocol/page_image.h"

namespace {

const char USAGE[] =
    "Usage: ciflash [--help | --version]\n"
    "Rewrites the flash firmware of the DVB Common Interface module in the PCMCIA reader\n"
    "with the two page images built into this program.\n"
    "Without arguments it looks for the module and starts the update as soon as the module\n"
    "is identified: there is no confirmation.\n"
    "Keys: SPACE goes on at the insert prompt, ESC leaves a screen, Q quits at a prompt.\n"
    "While blocks are written, Ctrl+C, Ctrl+Z, hang-up, terminate and the other signals\n"
    "that end or stop a program wait for the outcome screen. Needs a terminal of 80x25.\n"
    "Exit codes: 0 update succeeded, or Q before the first block was sent;\n"
    "1 ended before any block was sent (fatal screen, no port access, terminal under\n"
    "80x25, another ciflash running); 2 bad argument; 4 update failed (UPDATE ERROR);\n"
    "128+n ended by signal n.\n"
    "See man ciflash.\n";

} // namespace

void print_version(const char *program) {
    std::printf("%s %s\n", program, CIFLASH_VERSION);
    std::printf("page 0 image: %u bytes, SHA-256 %s\n", page_image_0.size, page_image_0_sha256);
    std::printf("page 1 image: %u bytes, SHA-256 %s\n", page_image_1.size, page_image_1_sha256);
}

int answer_arguments(int argc, const char *const argv[]) {
    const bool help = std::strcmp(argv[1], "--help") == 0;
    const bool version = std::strcmp(argv[1], "--version") == 0;
    if (argc == 2 && help) std::fputs(USAGE, stdout);
    if (argc == 2 && version) print_version("ciflash");
    if (argc == 2 && (help || version)) return 0;
    const char *bad = help || version ? argv[2] : argv[1];
    std::fprintf(stderr, "ciflash: unexpected argument '%s' (only --help or --version, alone)\n",
                 bad);
    return 2;
}
