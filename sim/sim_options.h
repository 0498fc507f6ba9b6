// Command line of ciflash-sim, and the module and fault options that ciflash-rehearse shares.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

struct SimOptions {
    std::string trace_file;
    std::string report_file;
    std::string history_file; // empty: the run keeps no history
    bool fast = false;
    uint32_t clock_start_ms = 0;
    bool help = false;
    bool version = false;
    // Set by ciflash-rehearse: "--" ends the options and the program to run follows; on
    // return program_arg is its index in argv (argc when nothing follows "--").
    bool takes_program = false;
    int program_arg = 0;
};

extern SimOptions sim_options;

// The usage of ciflash-sim; for ciflash-rehearse only its module and fault options.
void sim_print_usage(std::FILE *out, bool rehearsal);

// Opens a file the program writes (--trace, --report) before anything is drawn; a path that
// cannot be written is reported on standard error as PROGRAM: PATH: reason, and gives nullptr.
std::FILE *sim_open_output(const char *program, const std::string &path);

// Fills sim_options and sim_config from the arguments. Returns false with a one-line message
// in *error for an unknown option, a bad value, or a PAGE:BLOCK that no run with these options
// reaches.
bool sim_parse_options(int argc, const char *const argv[], std::string *error);
