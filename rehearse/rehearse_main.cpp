// ciflash-rehearse: runs the hardware program ciflash, unchanged, with its I/O ports served by
// the simulated module, in the current terminal and on the real clock.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include "rehearse/open_judge.h"
#include "rehearse/port_grant.h"
#include "rehearse/program_images.h"
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
    "Usage: ciflash-rehearse [SIMULATOR OPTION]... [--trace FILE] [--report FILE]\n"
    "                        [--history FILE] -- PROGRAM [ARGUMENT]...\n"
    "Runs the hardware program PROGRAM (a ciflash binary) in this terminal, its I/O port\n"
    "accesses served by the simulated module of ciflash-sim, on the real clock.\n"
    "--fast is refused: for a module without delays use --erase-ms 0 --block-ms 0.\n"
    "  --trace FILE           write every port access to FILE, as ciflash-sim does\n"
    "  --report FILE          write ciflash-sim's JSON summary to FILE, with the ioperm\n"
    "                         windows, how the program ended and why it was stopped\n"
    "  --history FILE         the program's update history goes to FILE; without it the\n"
    "                         program keeps none\n"
    "The program runs sealed: with descriptors 0-2 only, no capability, no_new_privs, and\n"
    "only the system calls of ciflash.\n"
    "Interrupt, quit, terminate and hang-up are the program's; ciflash-rehearse waits for\n"
    "its end, and a second terminate sent to ciflash-rehearse kills it.\n"
    "Exit status: the program's own; 2 for a bad option; 126 or 127 when PROGRAM cannot be\n"
    "run; 3 when the run was stopped because the program asked for other ports than the\n"
    "five interface windows, ran a port instruction other than a byte-wide in or out\n"
    "without prefix or outside the flat 64-bit code segment, accessed a port outside the\n"
    "windows, still held capabilities at its first port access, opened the I/O ports, the\n"
    "physical or kernel memory or a process's memory (by any path: the device and inode\n"
    "opened decide), opened for writing anything but the terminal, /dev/null, its history\n"
    "and its lock, started a thread or a process, or made another system call. Without\n"
    "CIFLASH_LOCK the program's lock is a private file of the rehearsal's own.\n";

int bad_option(const std::string &message) {
    std::fprintf(stderr, "ciflash-rehearse: %s (see --help)\n", message.c_str());
    return EXIT_BAD_OPTION;
}

// The program's update history goes to the file of `--history` only, as an absolute path, in
// CIFLASH_HISTORY; without it the variable is empty: the program keeps no history.
void give_history(const std::string &file) {
    std::string path = file;
    char folder[4096];
    if (!path.empty() && path[0] != '/' && getcwd(folder, sizeof folder))
        path = folder + ("/" + path);
    setenv("CIFLASH_HISTORY", path.c_str(), 1);
    if (!path.empty()) open_judge_allow_writing(path.c_str());
}

// A folder of the rehearsal's own, for its lock; the template while there is none.
char private_folder[] = "/tmp/ciflash-rehearse.XXXXXX";
std::string private_lock;

// The program's lock: the one CIFLASH_LOCK names, shared with real updates, or else a private
// one, so that a rehearsal and a real update never keep each other off the reader. False when
// the private one cannot be made.
bool give_lock() {
    const char *named = std::getenv("CIFLASH_LOCK");
    if (named && *named) return open_judge_allow_writing(named), true;
    if (!mkdtemp(private_folder)) return false;
    private_lock = private_folder + std::string("/lock");
    setenv("CIFLASH_LOCK", private_lock.c_str(), 1);
    return open_judge_allow_writing(private_lock.c_str());
}

void remove_private_lock() {
    if (private_lock.empty()) return;
    unlink(private_lock.c_str());
    rmdir(private_folder);
}

// A file of the supervisor's own, closed at the program's exec.
std::FILE *open_own(const std::string &path) {
    std::FILE *file = sim_open_output("ciflash-rehearse", path);
    if (file) fcntl(fileno(file), F_SETFD, FD_CLOEXEC);
    return file;
}

// Keeps the supervisor, and the program it starts, on the processor it runs on: every port
// access wakes one from the other, which costs less on one processor than across two.
void stay_on_one_processor() {
    const int cpu = sched_getcpu();
    if (cpu < 0) return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    sched_setaffinity(0, sizeof one, &one);
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

// The report's members beyond ciflash-sim's: the windows, how the program ended, and why the
// supervisor stopped it (null when it did not).
void rehearsal_members(JsonOut &out, const ProgramEnd &end, const std::string &stopped) {
    grant_report_members(out);
    json_object(out, "ended");
    if (end.refused || end.signal)
        json_int(out, "signal", end.refused ? SIGKILL : end.signal);
    else
        json_int(out, "exit_code", end.exit_code);
    json_end(out);
    if (stopped.empty())
        json_null(out, "stopped");
    else
        json_string(out, "stopped", stopped.c_str());
}

} // namespace

int main(int argc, char **argv) {
    std::string error;
    SimOptions &options = sim_options;
    options.takes_program = true;
    if (!sim_parse_options(argc, argv, &error)) return bad_option(error);
    if (options.help) {
        std::fputs(USAGE, stdout);
        sim_print_usage(stdout, true);
        return 0;
    }
    if (options.fast)
        return bad_option("--fast does not apply: the program waits on the real clock; "
                          "--erase-ms 0 --block-ms 0 take the module's own delays away");
    if (options.program_arg == 0 || options.program_arg >= argc)
        return bad_option("no program given after --");
    give_history(options.history_file);
    if (!give_lock()) {
        std::perror("ciflash-rehearse: cannot make the rehearsal's own lock file");
        remove_private_lock();
        return EXIT_REFUSED;
    }
    std::FILE *trace = nullptr, *report = nullptr;
    if (!options.trace_file.empty() && !(trace = open_own(options.trace_file)))
        return EXIT_BAD_OPTION;
    if (!options.report_file.empty() && !(report = open_own(options.report_file)))
        return EXIT_BAD_OPTION;
    if (trace) sim_port_trace_to(trace);
    sim_clock_virtual = false;
    sim_reset();

    supervise_hold_signals();
    termios terminal{};
    const bool tty = tcgetattr(STDIN_FILENO, &terminal) == 0;
    stay_on_one_processor();
    const pid_t pid = supervise_start(argv + options.program_arg, -1);
    if (pid < 0) return remove_private_lock(), EXIT_REFUSED;
    ProgramEnd end = supervise_run(pid);
    // A program that asked for windows yet never touched a port is held to them at its end.
    if (!end.refused && !port_grant.checked && !port_grant.requests.empty())
        end.refused = !grant_check_windows();
    const std::string stopped = end.refused ? port_grant.refusal
                                : end.terminated
                                    ? "a second SIGTERM to ciflash-rehearse: the program was killed"
                                    : "";

    sim_port_trace_to(nullptr);
    if (trace) std::fclose(trace);
    if (report) {
        std::string why;
        const bool judged = !end.started || program_images_known(argv[options.program_arg], &why);
        if (!judged)
            std::fprintf(stderr, "ciflash-rehearse: %s: matches_image is null\n", why.c_str());
        JsonOut out = json_file(report);
        json_object(out, nullptr);
        sim_report_members(out, judged);
        rehearsal_members(out, end, stopped);
        json_end(out);
        std::fclose(report);
    }
    remove_private_lock();
    if (!stopped.empty()) {
        if (tty) tcsetattr(STDIN_FILENO, TCSANOW, &terminal); // the killed program could not
        std::fprintf(stderr, "\nciflash-rehearse: %s; run stopped.\n", stopped.c_str());
    }
    if (end.refused) return EXIT_REFUSED;
    if (end.terminated) end_by_signal(SIGTERM);
    if (end.signal != 0) end_by_signal(end.signal);
    return end.exit_code;
}
