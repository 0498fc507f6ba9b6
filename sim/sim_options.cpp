#include "sim/sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "link/ci_link.h"
#include "link/registers.h"
#include "protocol/flash_update.h"
#include "protocol/page_image.h"
#include "sim/sim_module.h"

const char SIM_USAGE[] =
    "Usage: ciflash-sim [OPTION]...\n"
    "Runs ciflash against a simulated DVB Common Interface module.\n"
    "\n"
    "Reader and module:\n"
    "  --base ADDR            I/O base of the reader: 0x300, 0x320, 0x340, 0x360 or 0x380\n"
    "  --module-buffer N      buffer size the module offers (default 256)\n"
    "  --no-module            the reader is empty\n"
    "  --late-insert          the module is inserted after the first detection\n"
    "  --bios TEXT            BIOS revision (default 1.07)\n"
    "  --bios-date TEXT       BIOS date\n"
    "  --page-number N        page number (0 to 255)\n"
    "  --asic N               ASIC version (0 to 255)\n"
    "  --customer TEXT        customer\n"
    "  --processor TEXT       processor version (default 51)\n"
    "  --silent-identify      the identification request gets no answer\n"
    "  --identify-read-error  RE is set after the identification reply\n"
    "  --erase-ms N           delay before the first reply of a page (default 300)\n"
    "  --block-ms N           delay before every other reply (default 1)\n"
    "\n"
    "Faults (PAGE:BLOCK as on screen, blocks from 1):\n"
    "  --reply PAGE:BLOCK:SW  answer that block with status word SW (4 hex digits)\n"
    "  --remove PAGE:BLOCK    the module is pulled out just before that block\n"
    "  --write-error PAGE:BLOCK   WE is set after that block's last byte\n"
    "  --write-error-kept PAGE:BLOCK  WE after that block, yet the module keeps it and answers\n"
    "  --read-error PAGE:BLOCK    RE is set after the reply to that block\n"
    "  --hang PAGE:BLOCK      that block is never answered\n"
    "  --busy PAGE:BLOCK[:MS] FR clear when that block is to be sent: MS ms, or for good\n"
    "  --reply-len PAGE:BLOCK:N   the reply to that block announces N bytes (0 to 65535)\n"
    "  --size-reply-len N     the reset's size reply is N bytes long\n"
    "  --free-never           FR never comes back after a reset\n"
    "  --seed N --fault-rate P    seeded random faults at rate P per register access\n"
    "\n"
    "Run:\n"
    "  --fast                 virtual clock: every wait passes at once\n"
    "  --clock-start MS       with --fast, the tick counter starts at MS (it wraps at 2^32)\n"
    "  --trace FILE           write every port access, and each protocol error, to FILE\n"
    "  --report FILE          write a JSON summary to FILE when the program ends\n"
    "  --history FILE         append the run's update history records to FILE\n"
    "  --help                 show this help\n"
    "  --version              show the version and the page images compiled in\n"
    "\n"
    "Exit codes: 0 update succeeded, or Q before the first block was sent;\n"
    "1 ended before any block was sent (fatal screen, terminal under 80x25, history not\n"
    "opened or not written);\n"
    "2 bad argument; 4 update failed (UPDATE ERROR); 128+n ended by signal n.\n";

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

struct BlockOption {
    const char *name;
    SimEventKind kind;
    int value_base;
    bool value_optional;
    long value_max;
    const char *form; // the expected form of the value, for the message on a bad one
};

constexpr const char PAGE_BLOCK[] = "PAGE:BLOCK, PAGE 0 or 1, BLOCK from 1";

constexpr BlockOption BLOCK_OPTIONS[] = {
    {"--reply", SIM_REPLY_SW, 16, false, 0xFFFF, "PAGE:BLOCK:SW, SW as 4 hex digits"},
    {"--remove", SIM_REMOVE, 0, false, 0, PAGE_BLOCK},
    {"--write-error", SIM_WRITE_ERROR, 0, false, 0, PAGE_BLOCK},
    {"--write-error-kept", SIM_WRITE_ERROR_KEPT, 0, false, 0, PAGE_BLOCK},
    {"--read-error", SIM_READ_ERROR, 0, false, 0, PAGE_BLOCK},
    {"--hang", SIM_HANG, 0, false, 0, PAGE_BLOCK},
    {"--busy", SIM_BUSY, 10, true, 600000, "PAGE:BLOCK[:MS], MS from 0 to 600000"},
    {"--reply-len", SIM_REPLY_LEN, 10, false, 65535, "PAGE:BLOCK:N, N from 0 to 65535"},
};

struct ValueOption {
    const char *name;
    const char *form; // nullptr: any text
};

constexpr ValueOption VALUE_OPTIONS[] = {
    {"--base", "0x300, 0x320, 0x340, 0x360 or 0x380"},
    {"--module-buffer", "a number from 0 to 65535"},
    {"--bios", nullptr},
    {"--bios-date", nullptr},
    {"--customer", nullptr},
    {"--processor", nullptr},
    {"--asic", "a number from 0 to 255"},
    {"--page-number", "a number from 0 to 255"},
    {"--erase-ms", "milliseconds from 0 to 600000"},
    {"--block-ms", "milliseconds from 0 to 600000"},
    {"--seed", "a number from 0 to 4294967295"},
    {"--fault-rate", "a rate from 0 to 1"},
    {"--trace", nullptr},
    {"--report", nullptr},
    {"--history", nullptr},
    {"--clock-start", "milliseconds from 0 to 4294967295"},
    {"--size-reply-len", "a number from 0 to 65535"},
};

// The expected form of the option's value, or nullptr when the option takes none.
const char *value_form(const std::string &name) {
    for (const BlockOption &b : BLOCK_OPTIONS)
        if (name == b.name) return b.form;
    for (const ValueOption &v : VALUE_OPTIONS)
        if (name == v.name) return v.form ? v.form : "text";
    return nullptr;
}

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
        for (const BlockOption &b : BLOCK_OPTIONS)
            if (b.kind == e.kind) name = b.name;
        const std::string page = std::to_string(e.page);
        *error = "no block " + page + ":" + std::to_string(e.block) + " for " + name + ": " +
                 (blocks ? "page " + page + " has blocks 1 to " + std::to_string(blocks)
                         : std::string("no block is written")) +
                 " with a " + std::to_string(buffer) + "-byte buffer";
        return false;
    }
    return true;
}

bool is_io_base(long long value) {
    for (uint16_t base : IO_BASES)
        if (value == base) return true;
    return false;
}

} // namespace

bool sim_parse_options(int argc, const char *const argv[], SimOptions *options,
                       std::string *error) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--" && options->takes_program) {
            options->program_arg = i + 1;
            break;
        }
        if (name == "--help") {
            options->help = true;
            continue;
        }
        if (name == "--version") {
            options->version = true;
            continue;
        }
        if (name == "--fast") {
            options->fast = true;
            continue;
        }
        if (name == "--no-module") {
            sim_config.no_module = true;
            continue;
        }
        if (name == "--late-insert") {
            sim_config.late_insert = true;
            continue;
        }
        if (name == "--silent-identify") {
            sim_config.silent_identify = true;
            continue;
        }
        if (name == "--identify-read-error") {
            sim_config.identify_read_error = true;
            continue;
        }
        if (name == "--free-never") {
            sim_config.free_never_from = 1;
            continue;
        }

        if (!value_form(name)) {
            *error = (name.rfind("--", 0) == 0 ? "unknown option " : "unexpected argument ") + name;
            return false;
        }
        if (i + 1 >= argc) {
            *error = "option " + name + " needs a value";
            return false;
        }
        const char *value = argv[++i];
        long long number = 0;
        bool ok = true;
        const BlockOption *block_option = nullptr;
        for (const BlockOption &b : BLOCK_OPTIONS)
            if (name == b.name) block_option = &b;

        if (block_option) {
            SimBlockEvent event{block_option->kind, 0, 0, 0};
            ok = parse_block(value, block_option->value_base, block_option->value_optional,
                             block_option->value_max, &event);
            if (ok) sim_config.events.push_back(event);
        } else if (name == "--base") {
            ok = parse_number(value, 0xFFFF, &number) && is_io_base(number);
            sim_config.base = static_cast<uint16_t>(number);
        } else if (name == "--module-buffer") {
            ok = parse_number(value, 65535, &number);
            sim_config.module_buffer = static_cast<uint16_t>(number);
        } else if (name == "--bios") {
            sim_config.bios = value;
        } else if (name == "--bios-date") {
            sim_config.bios_date = value;
        } else if (name == "--customer") {
            sim_config.customer = value;
        } else if (name == "--processor") {
            sim_config.processor = value;
        } else if (name == "--page-number" || name == "--asic") {
            ok = parse_number(value, 255, &number);
            (name == "--asic" ? sim_config.asic : sim_config.page_number) =
                static_cast<int>(number);
        } else if (name == "--erase-ms" || name == "--block-ms") {
            ok = parse_number(value, 600000, &number);
            (name == "--erase-ms" ? sim_config.erase_ms : sim_config.block_ms) =
                static_cast<uint32_t>(number);
        } else if (name == "--size-reply-len") {
            ok = parse_number(value, 65535, &number);
            sim_config.size_reply_len = static_cast<int>(number);
        } else if (name == "--seed") {
            ok = parse_number(value, 0xFFFFFFFFLL, &number);
            sim_config.seed = static_cast<uint32_t>(number);
        } else if (name == "--fault-rate") {
            char *end = nullptr;
            sim_config.fault_rate = std::strtod(value, &end);
            ok = end != value && *end == '\0' && sim_config.fault_rate >= 0 &&
                 sim_config.fault_rate <= 1;
        } else if (name == "--clock-start") {
            ok = parse_number(value, 0xFFFFFFFFLL, &number);
            options->clock_start_ms = static_cast<uint32_t>(number);
        } else if (name == "--trace") {
            options->trace_file = value;
        } else if (name == "--history") {
            options->history_file = value;
        } else {
            options->report_file = value; // --report, the last value option
        }
        if (!ok) {
            *error =
                "bad value for " + name + ": " + value + " (expected " + value_form(name) + ")";
            return false;
        }
    }
    if (options->clock_start_ms && !options->fast) {
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
