#include "sim/sim_options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <variant>

#include "link/ci_link.h"
#include "link/registers.h"
#include "protocol/flash_update.h"
#include "protocol/page_image.h"
#include "sim/sim_module.h"

SimOptions sim_options;

namespace {

bool parse_number(const char *text, long long max, long long *out) {
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > max) return false;
    *out = value;
    return true;
}

// PAGE:BLOCK, or PAGE:BLOCK:VALUE when `value_base` is nonzero (the value may be left out when
// `value_optional`).
bool parse_block(const char *text, int value_base, bool value_optional, long value_max,
                 SimBlockEvent *event) {
    char *end = nullptr;
    const long page = std::strtol(text, &end, 10);
    if (end == text || *end != ':' || page < 0 || page > 1) return false;
    const char *rest = end + 1;
    const long block = std::strtol(rest, &end, 10);
    if (end == rest || block < 1 || block > 65535) return false;
    event->page = static_cast<int>(page);
    event->block = static_cast<int>(block);
    event->value = 0;
    if (value_base == 0 || (value_optional && *end == '\0')) return *end == '\0';
    if (*end != ':') return false;
    rest = end + 1;
    if (value_base == 16 && std::strlen(rest) != 4) return false;
    const unsigned long value = std::strtoul(rest, &end, value_base);
    if (end == rest || *end != '\0' || value > static_cast<unsigned long>(value_max)) return false;
    event->value = static_cast<uint32_t>(value);
    return true;
}

// sim_config.base, which takes only the bases the program probes.
struct IoBase {
    bool operator==(const IoBase &) const = default;
};

// What an option sets, told by its type: a block event of a kind adds to sim_config.events.
using Target =
    std::variant<std::monostate, bool *, std::string *, std::optional<std::string> *, int *,
                 std::optional<int> *, uint16_t *, uint32_t *, double *, SimEventKind, IoBase>;

// An option, or with no name the title of the usage's next section.
struct SimOption {
    const char *name;
    const char *value; // the value as the usage names it; nullptr: a flag, which sets a bool
                       // to true, an int to 1
    const char *help;  // nullptr: told on the next option's line
    Target target = {};
    long long max = 0;          // of the number, or of a block event's value
    const char *form = nullptr; // the value's form, for the message on a bad one; nullptr: a number
    int value_base = 0; // a block event: PAGE:BLOCK:VALUE with the value in this base; 0: none
    bool value_optional = false;
};

constexpr const char RUN_OPTIONS[] = "Run:"; // the simulator's own, not the rehearsal's
constexpr const char PAGE_BLOCK[] = "PAGE:BLOCK, PAGE 0 or 1, BLOCK from 1";
constexpr const char MS[] = "milliseconds from 0 to 600000";

// In the order of the usage.
const SimOption SIM_OPTIONS[] = {
    {nullptr, nullptr, "Reader and module:"},
    {"--base", "ADDR", "I/O base of the reader: 0x300, 0x320, 0x340, 0x360 or 0x380", IoBase{},
     0xFFFF, "0x300, 0x320, 0x340, 0x360 or 0x380"},
    {"--module-buffer", "N", "buffer size the module offers (default 256)",
     &sim_config.module_buffer, 65535},
    {"--no-module", nullptr, "the reader is empty", &sim_config.no_module},
    {"--late-insert", nullptr, "the module is inserted after the first detection",
     &sim_config.late_insert},
    {"--bios", "TEXT", "BIOS revision (default 1.07)", &sim_config.bios},
    {"--bios-date", "TEXT", "BIOS date", &sim_config.bios_date},
    {"--page-number", "N", "page number (0 to 255)", &sim_config.page_number, 255},
    {"--asic", "N", "ASIC version (0 to 255)", &sim_config.asic, 255},
    {"--customer", "TEXT", "customer", &sim_config.customer},
    {"--processor", "TEXT", "processor version (default 51)", &sim_config.processor},
    {"--silent-identify", nullptr, "the identification request gets no answer",
     &sim_config.silent_identify},
    {"--identify-read-error", nullptr, "RE is set after the identification reply",
     &sim_config.identify_read_error},
    {"--erase-ms", "N", "delay before the first reply of a page (default 300)",
     &sim_config.erase_ms, 600000, MS},
    {"--block-ms", "N", "delay before every other reply (default 1)", &sim_config.block_ms, 600000,
     MS},
    {nullptr, nullptr, "Faults (PAGE:BLOCK as on screen, blocks from 1):"},
    {"--reply", "PAGE:BLOCK:SW", "answer that block with status word SW (4 hex digits)",
     SIM_REPLY_SW, 0xFFFF, "PAGE:BLOCK:SW, SW as 4 hex digits", 16},
    {"--remove", "PAGE:BLOCK", "the module is pulled out just before that block", SIM_REMOVE, 0,
     PAGE_BLOCK},
    {"--write-error", "PAGE:BLOCK", "WE is set after that block's last byte", SIM_WRITE_ERROR, 0,
     PAGE_BLOCK},
    {"--write-error-kept", "PAGE:BLOCK", "WE after that block, yet the module keeps it and answers",
     SIM_WRITE_ERROR_KEPT, 0, PAGE_BLOCK},
    {"--read-error", "PAGE:BLOCK", "RE is set after the reply to that block", SIM_READ_ERROR, 0,
     PAGE_BLOCK},
    {"--hang", "PAGE:BLOCK", "that block is never answered", SIM_HANG, 0, PAGE_BLOCK},
    {"--busy", "PAGE:BLOCK[:MS]", "FR clear when that block is to be sent: MS ms, or for good",
     SIM_BUSY, 600000, "PAGE:BLOCK[:MS], MS from 0 to 600000", 10, true},
    {"--reply-len", "PAGE:BLOCK:N", "the reply to that block announces N bytes (0 to 65535)",
     SIM_REPLY_LEN, 65535, "PAGE:BLOCK:N, N from 0 to 65535", 10},
    {"--size-reply-len", "N", "the reset's size reply is N bytes long", &sim_config.size_reply_len,
     65535},
    {"--free-never", nullptr, "FR never comes back after a reset", &sim_config.free_never_from},
    {"--seed", "N", nullptr, &sim_config.seed, 0xFFFFFFFFLL},
    {"--fault-rate", "P", "seeded random faults at rate P per register access",
     &sim_config.fault_rate, 1, "a rate from 0 to 1"},
    {nullptr, nullptr, RUN_OPTIONS},
    {"--fast", nullptr, "virtual clock: every wait passes at once", &sim_options.fast},
    {"--clock-start", "MS", "with --fast, the tick counter starts at MS (it wraps at 2^32)",
     &sim_options.clock_start_ms, 0xFFFFFFFFLL, "milliseconds from 0 to 4294967295"},
    {"--trace", "FILE", "write every port access, and each protocol error, to FILE",
     &sim_options.trace_file},
    {"--report", "FILE", "write a JSON summary to FILE when the program ends",
     &sim_options.report_file},
    {"--history", "FILE", "append the run's update history records to FILE",
     &sim_options.history_file},
    {"--help", nullptr, "show this help", &sim_options.help},
    {"--version", nullptr, "show the version and the page images compiled in",
     &sim_options.version},
};

// Every block event must name a block that a run with these options writes: the blocks of
// a page follow from its image size and the buffer size the run negotiates.
bool events_reachable(std::string *error) {
    const uint16_t host_max = sim_config.silent_identify ? FALLBACK_MAX_BUFFER : STARTUP_MAX_BUFFER;
    const uint16_t buffer =
        sim_config.module_buffer < host_max ? sim_config.module_buffer : host_max;
    for (const SimBlockEvent &e : sim_config.events) {
        const PageImage &image = e.page == 0 ? page_image_0 : page_image_1;
        const uint32_t blocks =
            buffer < UPDATE_MIN_BUFFER ? 0 : page_block_count(image, update_block_len(buffer));
        if (static_cast<uint32_t>(e.block) <= blocks) continue;
        const char *name = "";
        for (const SimOption &o : SIM_OPTIONS)
            if (o.target == Target(e.kind)) name = o.name;
        const std::string page = std::to_string(e.page);
        *error = "no block " + page + ":" + std::to_string(e.block) + " for " + name + ": " +
                 (blocks ? "page " + page + " has blocks 1 to " + std::to_string(blocks)
                         : std::string("no block is written")) +
                 " with a " + std::to_string(buffer) + "-byte buffer";
        return false;
    }
    return true;
}

// Stores the option's value; false when it is not of the option's form.
bool set_value(const SimOption &o, const char *text) {
    const Target &t = o.target;
    if (auto *target = std::get_if<std::string *>(&t)) return **target = text, true;
    if (auto *target = std::get_if<std::optional<std::string> *>(&t)) return **target = text, true;
    if (auto *rate = std::get_if<double *>(&t)) {
        char *end = nullptr;
        **rate = std::strtod(text, &end);
        return end != text && *end == '\0' && **rate >= 0 && **rate <= static_cast<double>(o.max);
    }
    if (auto *kind = std::get_if<SimEventKind>(&t)) {
        SimBlockEvent event{*kind, 0, 0, 0};
        if (!parse_block(text, o.value_base, o.value_optional, static_cast<long>(o.max), &event))
            return false;
        sim_config.events.push_back(event);
        return true;
    }
    long long n = 0;
    if (!parse_number(text, o.max, &n)) return false;
    if (std::holds_alternative<IoBase>(t)) {
        if (std::count(IO_BASES, IO_BASES + IO_BASE_COUNT, n) == 0) return false;
        sim_config.base = static_cast<uint16_t>(n);
    }
    if (auto *target = std::get_if<uint16_t *>(&t)) **target = static_cast<uint16_t>(n);
    if (auto *target = std::get_if<uint32_t *>(&t)) **target = static_cast<uint32_t>(n);
    if (auto *target = std::get_if<std::optional<int> *>(&t)) **target = static_cast<int>(n);
    if (auto *target = std::get_if<int *>(&t)) **target = static_cast<int>(n);
    return true;
}

} // namespace

void sim_print_usage(std::FILE *out, bool rehearsal) {
    if (!rehearsal)
        std::fputs("Usage: ciflash-sim [OPTION]...\n"
                   "Runs ciflash against a simulated DVB Common Interface module.\n",
                   out);
    std::string left; // the options told on one line
    for (const SimOption &o : SIM_OPTIONS) {
        if (rehearsal && o.help == RUN_OPTIONS) break;
        if (!o.name) {
            std::fprintf(out, "\n%s\n", o.help);
            continue;
        }
        left += (left.empty() ? "" : " ") + std::string(o.name);
        if (o.value) left += std::string(" ") + o.value;
        if (!o.help) continue;
        // The help starts 25 characters in, or 29 after a longer option, or 2 spaces after it.
        const int width = left.size() < 23   ? 23
                          : left.size() < 26 ? 27
                                             : static_cast<int>(left.size()) + 2;
        std::fprintf(out, "  %-*s%s\n", width, left.c_str(), o.help);
        left.clear();
    }
    if (!rehearsal)
        std::fputs(
            "\n"
            "Exit codes: 0 update succeeded, or Q before the first block was sent;\n"
            "1 ended before any block was sent (fatal screen, terminal under 80x25, history not\n"
            "opened or not written);\n"
            "2 bad argument; 4 update failed (UPDATE ERROR); 128+n ended by signal n.\n",
            out);
}

bool sim_parse_options(int argc, const char *const argv[], std::string *error) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--" && sim_options.takes_program) {
            sim_options.program_arg = i + 1;
            break;
        }
        const SimOption *option = nullptr;
        for (const SimOption &o : SIM_OPTIONS)
            if (o.name && name == o.name) option = &o;
        if (!option) {
            *error = (name.rfind("--", 0) == 0 ? "unknown option " : "unexpected argument ") + name;
            return false;
        }
        if (!option->value) {
            if (auto *count = std::get_if<int *>(&option->target)) **count = 1;
            if (auto *flag = std::get_if<bool *>(&option->target)) **flag = true;
            continue;
        }
        if (i + 1 >= argc) {
            *error = "option " + name + " needs a value";
            return false;
        }
        const char *value = argv[++i];
        if (!set_value(*option, value)) {
            *error = "bad value for " + name + ": " + value + " (expected " +
                     (option->form ? option->form
                                   : "a number from 0 to " + std::to_string(option->max)) +
                     ")";
            return false;
        }
    }
    if (sim_options.clock_start_ms && !sim_options.fast) {
        *error = "--clock-start needs --fast: only the virtual clock can be set";
        return false;
    }
    return events_reachable(error);
}

std::FILE *sim_open_output(const char *program, const std::string &path) {
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (!file) std::perror((std::string(program) + ": " + path).c_str());
    return file;
}
