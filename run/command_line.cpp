#include "run/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "protocol/page_image.h"
#include "run/history.h"

namespace {

const char USAGE[] =
    "Usage: ciflash [--no-history | --help | --version]\n"
    "       ciflash --history [N]\n"
    "Rewrites the flash firmware of the DVB Common Interface module in the PCMCIA reader\n"
    "with the two page images built into this program.\n"
    "Without arguments it looks for the module and starts the update as soon as the module\n"
    "is identified: there is no confirmation.\n"
    "Keys: SPACE goes on at the insert prompt, ESC leaves a screen, Q quits at a prompt.\n"
    "While blocks are written, these signals from outside wait for the outcome screen:\n"
    "INT (Ctrl+C), QUIT, TERM, HUP, USR1, USR2, ALRM, VTALRM, PROF, POLL, PWR, XCPU, XFSZ,\n"
    "ABRT, TRAP, SYS, STKFLT, RTMIN to RTMAX, and TSTP (Ctrl+Z), TTIN, TTOU.\n"
    "Needs a terminal of 80x25.\n"
    "Exit codes: 0 update succeeded, or Q before the first block was sent;\n"
    "1 ended before any block was sent (fatal screen, no port access, terminal under\n"
    "80x25, another ciflash running); 2 bad argument; 4 update failed (UPDATE ERROR);\n"
    "128+n ended by signal n.\n"
    "--history lists the last N runs of the update history (default 20), one line each,\n"
    "with the blocks acknowledged/sent per page.\n"
    "--no-history runs the update without a record in the history; a run whose history\n"
    "cannot be opened is refused (exit code 1) before any port access.\n"
    "See man ciflash.\n";

} // namespace

void print_version(const char *program) {
    std::printf("%s %s\n", program, CIFLASH_VERSION);
    std::printf("page 0 image: %u bytes, SHA-256 %s\n", page_image_0.size, page_image_0_sha256);
    std::printf("page 1 image: %u bytes, SHA-256 %s\n", page_image_1.size, page_image_1_sha256);
}

static int answer_history(int argc, const char *const argv[]) {
    if (argc == 2) return history_print(HISTORY_DEFAULT_RUNS);
    const char *text = argv[2];
    char *end = nullptr;
    const long runs = std::strtol(text, &end, 10);
    const bool digits = *text >= '0' && *text <= '9' && *end == '\0';
    if (argc == 3 && digits && runs >= 1 && runs <= 1000000)
        return history_print(static_cast<int>(runs));
    std::fprintf(stderr,
                 "ciflash: --history takes one number of runs from 1 to 1000000, not '%s'\n",
                 argc == 3 ? text : argv[3]);
    return 2;
}

int answer_arguments(int argc, const char *const argv[]) {
    if (std::strcmp(argv[1], "--history") == 0) return answer_history(argc, argv);
    const bool help = std::strcmp(argv[1], "--help") == 0;
    const bool version = std::strcmp(argv[1], "--version") == 0;
    if (argc == 2 && help) std::fputs(USAGE, stdout);
    if (argc == 2 && version) print_version("ciflash");
    if (argc == 2 && (help || version)) return 0;
    const char *bad = help || version ? argv[2] : argv[1];
    std::fprintf(
        stderr,
        "ciflash: unexpected argument '%s' (only --no-history, --help or --version alone, or "
        "--history [N])\n",
        bad);
    return 2;
}
