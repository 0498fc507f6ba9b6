#include "sim/sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "link/registers.h"
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
    "  --busy PAGE:BLOCK      FR stays clear when that block is to be sent\n"
    "  --reply-len PAGE:BLOCK:N   the reply to that block announces N bytes (0 to 65535)\n"
    "  --size-reply-len N     the reset's size reply is N bytes long\n"
    "  --free-never           FR never comes back after a reset\n"
    "  --seed N --fault-rate P    seeded random faults at rate P per register access\n"
    "\n"
    "Run:\n"
    "  --fast                 virtual clock: every wait passes at once\n"
    "  --trace FILE           write every port access to FILE\n"
    "  --report FILE          write a JSON summary to FILE when the program ends\n"
    "  --help                 show this help\n";

namespace {

bool parse_number(const char *text, long long max, long long *out) {
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > max) return false;
    *out = value;
    return true;
}

// PAGE:BLOCK, or PAGE:BLOCK:VALUE when `value_base` is nonzero.
bool parse_block(const char *text, int value_base, long value_max, SimBlockEvent *event) {
    char *end = nullptr;
    const long page = std::strtol(text, &end, 10);
    if (end == text || *end != ':' || page < 0 || page > 1) return false;
    const char *rest = end + 1;
    const long block = std::strtol(rest, &end, 10);
    if (end == rest || block < 1 || block > 65535) return false;
    event->page = static_cast<int>(page);
    event->block = static_cast<int>(block);
    event->value = 0;
    if (value_base == 0) return *end == '\0';
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
    long value_max;
};

constexpr BlockOption BLOCK_OPTIONS[] = {
    {"--reply", SIM_REPLY_SW, 16, 0xFFFF},
    {"--remove", SIM_REMOVE, 0, 0},
    {"--write-error", SIM_WRITE_ERROR, 0, 0},
    {"--write-error-kept", SIM_WRITE_ERROR_KEPT, 0, 0},
    {"--read-error", SIM_READ_ERROR, 0, 0},
    {"--hang", SIM_HANG, 0, 0},
    {"--busy", SIM_BUSY, 0, 0},
    {"--reply-len", SIM_REPLY_LEN, 10, 65535},
};

constexpr const char *VALUE_OPTIONS[] = {
    "--base",      "--module-buffer", "--bios",        "--bios-date", "--customer",
    "--processor", "--asic",          "--page-number", "--erase-ms",  "--block-ms",
    "--seed",      "--fault-rate",    "--trace",       "--report",    "--size-reply-len",
};

bool takes_value(const std::string &name) {
    for (const BlockOption &b : BLOCK_OPTIONS)
        if (name == b.name) return true;
    for (const char *option : VALUE_OPTIONS)
        if (name == option) return true;
    return false;
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
        if (name == "--free-never") {
            sim_config.free_never_from = 1;
            continue;
        }

        if (!takes_value(name)) {
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
            ok = parse_block(value, block_option->value_base, block_option->value_max, &event);
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
        } else if (name == "--trace") {
            options->trace_file = value;
        } else {
            options->report_file = value; // --report, the last value option
        }
        if (!ok) {
            *error = "bad value for " + name + ": " + value;
            return false;
        }
    }
    return true;
}
