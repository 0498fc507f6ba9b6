// ciflash-sim: the whole program, with the simulated module behind the port seam.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/startup.h"
#include "platform/console.h"
#include "platform/process.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"
#include "sim/sim_options.h"
#include "sim/sim_port.h"
#include "sim/sim_report.h"

static SimOptions options;

// Runs at every end of the process that goes through exit(): normal end, Q, fatal screens.
static void write_report() {
    if (options.report_file.empty()) return;
    if (std::FILE *file = std::fopen(options.report_file.c_str(), "w")) {
        std::fputs(sim_report_json().c_str(), file);
        std::fclose(file);
    }
}

int main(int argc, char **argv) {
    std::string error;
    if (!sim_parse_options(argc, argv, &options, &error)) {
        std::fprintf(stderr, "ciflash-sim: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(SIM_USAGE, stdout);
        return 0;
    }
    if (!options.trace_file.empty()) {
        std::FILE *trace = std::fopen(options.trace_file.c_str(), "w");
        if (!trace) {
            std::perror(("ciflash-sim: " + options.trace_file).c_str());
            return 2;
        }
        sim_port_trace_to(trace);
    }
    sim_clock_virtual = options.fast;
    sim_reset();
    std::atexit(write_report);
    console_open();
    process_exit(program_entry());
}
