// ciflash-sim: the whole program, with the simulated module behind the port seam.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/console.h"
#include "platform/process.h"
#include "run/command_line.h"
#include "run/history.h"
#include "run/startup.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"
#include "sim/sim_options.h"
#include "sim/sim_port.h"
#include "sim/sim_report.h"

static std::FILE *report_file;

// Runs at every end of the process that goes through exit(): normal end, Q, fatal screens.
static void write_report() {
    JsonOut out = json_file(report_file);
    json_object(out, nullptr);
    sim_report_members(out, true);
    json_end(out);
    std::fclose(report_file);
}

int main(int argc, char **argv) {
    std::string error;
    const SimOptions &options = sim_options;
    if (!sim_parse_options(argc, argv, &error)) {
        std::fprintf(stderr, "ciflash-sim: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        sim_print_usage(stdout, false);
        return 0;
    }
    if (options.version) {
        print_version("ciflash-sim");
        return 0;
    }
    // The simulated module needs no lock: it drives no real port.
    if (!console_size_check("ciflash-sim")) return 1;
    if (!options.trace_file.empty()) {
        std::FILE *trace = sim_open_output("ciflash-sim", options.trace_file);
        if (!trace) return 2;
        sim_port_trace_to(trace);
    }
    if (!options.report_file.empty()) {
        report_file = sim_open_output("ciflash-sim", options.report_file);
        if (!report_file) return 2;
        std::atexit(write_report);
    }
    // Only a history asked for: demonstrations never mix into a workshop's record.
    if (!history_use("ciflash-sim", options.history_file.c_str(), false,
                     "name another file with --history, or leave the option out"))
        return 1;
    sim_clock_virtual = options.fast;
    sim_clock_set_ms(options.clock_start_ms);
    sim_reset();
    console_open();
    process_exit(program_entry());
}
