// ciflash-rehearse: runs the hardware program ciflash, unchanged, with its I/O ports served by
// the simulated module, in the current terminal and on the real clock.
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include "rehearse/port_grant.h"
#include "rehearse/supervise.h"
#include "sim/sim_clock.h"
#include "sim/sim_module.h"
#include "sim/sim_options.h"
#include "sim/sim_port.h"
#include "sim/sim_report.h"

namespace {

constexpr int EXIT_BAD_OPTION = 2;
constexpr int EXIT_REFUSED = 3;

const char USAGE[] =
    "Usage: ciflash-rehearse [SIMULATOR OPTION]... [--trace FILE] [--report FILE] -- PROGRAM\n"
    "Runs the hardware program PROGRAM (a ciflash binary) in this terminal, its I/O port\n"
    "accesses served by the simulated module of ciflash-sim, on the real clock.\n"
    "The module and fault options are those of ciflash-sim (see ciflash-sim --help);\n"
    "--trace and --report write the same files, the report also listing the ioperm windows.\n"
    "Exit status: the program's own; 2 for a bad option; 3 when the run was stopped because\n"
    "the program asked for other ports than the five interface windows, accessed a port\n"
    "outside them, or still held capabilities at its first port access.\n";

int bad_option(const std::string &message) {
    std::fprintf(stderr, "ciflash-rehearse: %s (see --help)\n", message.c_str());
    return EXIT_BAD_OPTION;
}

// Ends the supervisor as the program ended: by the same signal, so that the shell sees it.
[[noreturn]] void end_by_signal(int sig) {
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core); // the program's core, if any, is the one that matters
    signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    _exit(128 + sig);
}

} // namespace

int main(int argc, char **argv) {
    SimOptions options;
    options.takes_program = true;
    std::string error;
    if (!sim_parse_options(argc, argv, &options, &error)) return bad_option(error);
    if (options.help) {
        std::fputs(USAGE, stdout);
        // The simulator's module and fault options, which apply here as they are.
        const std::string sim_usage = SIM_USAGE;
        const size_t from = sim_usage.find("\nReader and module:");
        std::fputs(sim_usage.substr(from, sim_usage.find("\nRun:") - from).c_str(), stdout);
        return 0;
    }
    if (options.fast)
        return bad_option("--fast does not apply: the program waits on the real clock; "
                          "--erase-ms 0 --block-ms 0 make the module answer at once");
    if (options.program_arg == 0 || options.program_arg >= argc)
        return bad_option("no program given after --");
    std::FILE *trace = nullptr, *report = nullptr;
    if (!options.trace_file.empty() &&
        !(trace = sim_open_output("ciflash-rehearse", options.trace_file)))
        return EXIT_BAD_OPTION;
    if (!options.report_file.empty() &&
        !(report = sim_open_output("ciflash-rehearse", options.report_file)))
        return EXIT_BAD_OPTION;
    if (trace) sim_port_trace_to(trace);
    sim_clock_virtual = false;
    sim_reset();

    // A Ctrl+C or Ctrl+\ from the terminal is meant for the program, which gets it too.
    struct sigaction interrupt {
    }, quit{}, ignore{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, &interrupt);
    sigaction(SIGQUIT, &ignore, &quit);
    termios terminal{};
    const bool tty = tcgetattr(STDIN_FILENO, &terminal) == 0;

    const pid_t pid = supervise_start(argv + options.program_arg, interrupt, quit);
    if (pid < 0) return EXIT_REFUSED;
    ProgramEnd end = supervise_run(pid);
    // A program that asked for windows yet never touched a port is held to them at its end.
    if (!end.refused && !port_grant.checked && !port_grant.requests.empty())
        end.refused = !grant_check_windows();

    if (report) {
        std::fputs(sim_report_json(grant_report_member()).c_str(), report);
        std::fclose(report);
    }
    if (trace) std::fclose(trace);
    if (end.refused) {
        if (tty) tcsetattr(STDIN_FILENO, TCSANOW, &terminal); // the killed program could not
        std::fprintf(stderr, "\nciflash-rehearse: %s; run stopped.\n", port_grant.refusal.c_str());
        return EXIT_REFUSED;
    }
    if (end.signal != 0) end_by_signal(end.signal);
    return end.exit_code;
}
