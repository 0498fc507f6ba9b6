// ciflash-rehearse-bench: what a port access costs under ciflash-rehearse, against the floor
// that tracing sets on this machine, both measured in the same run and with the same
// placement: every process pinned to the one processor the benchmark runs on, then free to
// run on any processor it may (a tracer and its child on two processors wake each other
// across them, which costs far more than on one; ciflash-rehearse keeps itself on one).
//
// The floor: a minimal tracer serving a loop of `in al,dx` in its child (a trap, the registers
// read and written, the child resumed). The rehearsal: a whole update of ciflash-standin under
// ciflash-rehearse with --erase-ms 0 --block-ms 0, less the same update run by ciflash-sim on
// the real clock (the program's own waits), divided by its port accesses. Each is given in
// wall time, which a loaded machine stretches, and in processor time (user and system, of the
// tracer and the traced program), which it does not.
//
// Usage: ciflash-rehearse-bench CIFLASH-REHEARSE CIFLASH-STANDIN CIFLASH-SIM [REPETITIONS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <string>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int FLOOR_ACCESSES = 100000;

struct Cost {
    double wall_s;
    double cpu_s;
};

double seconds(const timeval &t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// Processor time used so far by this process (RUSAGE_SELF) or its waited-for children.
double cpu_s(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double monotonic_s() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The cost per access of a tracer serving `in al,dx` traps; wall_s is -1 when tracing fails.
Cost floor_per_access() {
    int gate[2];
    if (pipe(gate) != 0) return {-1, 0};
    const pid_t pid = fork();
    if (pid == 0) {
        char go;
        close(gate[1]);
        if (read(gate[0], &go, 1) != 0) _exit(1); // traced from here on
        for (int i = 0; i < FLOOR_ACCESSES; ++i)
            asm volatile("inb %%dx, %%al" ::"d"(0x301) : "eax");
        _exit(0);
    }
    close(gate[0]);
    int status = 0;
    const bool traced = pid > 0 && ptrace(PTRACE_SEIZE, pid, nullptr, PTRACE_O_EXITKILL) == 0;
    close(gate[1]);
    if (!traced) {
        if (pid > 0) waitpid(pid, nullptr, 0);
        return {-1, 0};
    }
    const double start = monotonic_s();
    const double cpu_start = cpu_s(RUSAGE_SELF) + cpu_s(RUSAGE_CHILDREN);
    int served = 0;
    while (waitpid(pid, &status, 0) == pid && WIFSTOPPED(status)) {
        int deliver = WSTOPSIG(status);
        user_regs_struct regs{};
        if (deliver == SIGSEGV && ptrace(PTRACE_GETREGS, pid, nullptr, &regs) == 0) {
            regs.rax = (regs.rax & ~0xFFull) | 0x40;
            regs.rip += 1;
            ptrace(PTRACE_SETREGS, pid, nullptr, &regs);
            deliver = 0;
            ++served;
        }
        ptrace(PTRACE_CONT, pid, nullptr, deliver);
    }
    const double wall = monotonic_s() - start;
    const double cpu = cpu_s(RUSAGE_SELF) + cpu_s(RUSAGE_CHILDREN) - cpu_start;
    if (served != FLOOR_ACCESSES) return {-1, 0};
    return {wall / served, cpu / served};
}

// Runs the command in a session of its own without a terminal; returns its wall and processor
// time, wall_s -1 unless it exited with 0.
Cost run(const std::vector<std::string> &command) {
    std::vector<char *> argv;
    for (const std::string &word : command) argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    const double start = monotonic_s();
    const double cpu_start = cpu_s(RUSAGE_CHILDREN);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return {-1, 0};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {-1, 0};
    return {monotonic_s() - start, cpu_s(RUSAGE_CHILDREN) - cpu_start};
}

// Port reads and writes in the report, or -1 unless both pages match their images.
double report_accesses(const std::string &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string report = text.str();
    size_t matches = 0;
    for (size_t at = 0; (at = report.find("\"matches_image\": true", at)) != std::string::npos;)
        ++matches, ++at;
    double accesses = 0;
    for (const char *key : {"\"port_reads\": ", "\"port_writes\": "}) {
        const size_t at = report.find(key);
        if (at == std::string::npos) return -1;
        accesses += std::strtod(report.c_str() + at + std::strlen(key), nullptr);
    }
    return matches == 2 ? accesses : -1;
}

// Pins this process, and so the processes it starts, to the processor it runs on; or, with
// `pinned` false, gives it back every processor of `all`.
bool place(bool pinned, const cpu_set_t &all) {
    cpu_set_t one;
    CPU_ZERO(&one);
    const int cpu = sched_getcpu();
    if (cpu >= 0) CPU_SET(cpu, &one);
    return (!pinned || cpu >= 0) && sched_setaffinity(0, sizeof one, pinned ? &one : &all) == 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "Usage: %s CIFLASH-REHEARSE CIFLASH-STANDIN CIFLASH-SIM [REPETITIONS]\n",
                     argv[0]);
        return 2;
    }
    const int repetitions = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
    char folder[] = "/tmp/ciflash-rehearse-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string report = std::string(folder) + "/report.json";
    const std::vector<std::string> no_delays = {"--erase-ms", "0",        "--block-ms",
                                                "0",          "--report", report};
    std::vector<std::string> rehearse = {argv[1]}, sim = {argv[3]};
    rehearse.insert(rehearse.end(), no_delays.begin(), no_delays.end());
    sim.insert(sim.end(), no_delays.begin(), no_delays.end());
    rehearse.insert(rehearse.end(), {"--", argv[2]});

    cpu_set_t all;
    if (sched_getaffinity(0, sizeof all, &all) != 0) return 1;

    // The samples of both placements, one core first: the floor's and the rehearsal's cost per
    // access, in wall and in processor time.
    struct Samples {
        std::vector<double> floor_wall, floor_cpu, wall, cpu;
    } samples[2];
    double accesses = 0;
    const char *failed = nullptr;
    for (int i = 0; i < repetitions && !failed; ++i) {
        for (int pinned = 1; pinned >= 0 && !failed; --pinned) {
            Samples &s = samples[1 - pinned];
            const bool placed = place(pinned != 0, all);
            const Cost floor = floor_per_access();
            const Cost alone = run(sim);
            const double sim_accesses = report_accesses(report);
            const Cost rehearsed = run(rehearse);
            accesses = report_accesses(report);
            failed = !placed                ? "the placement on one processor"
                     : floor.wall_s < 0     ? "the floor's tracer"
                     : alone.wall_s < 0     ? "ciflash-sim"
                     : rehearsed.wall_s < 0 ? "ciflash-rehearse"
                     : accesses <= 0        ? "the report"
                     : accesses != sim_accesses
                         ? "the comparison: ciflash-sim has other images than the program"
                         : nullptr;
            s.floor_wall.push_back(floor.wall_s);
            s.floor_cpu.push_back(floor.cpu_s);
            s.wall.push_back((rehearsed.wall_s - alone.wall_s) / accesses);
            s.cpu.push_back((rehearsed.cpu_s - alone.cpu_s) / accesses);
        }
    }
    std::remove(report.c_str());
    rmdir(folder);
    if (failed) {
        std::fprintf(stderr, "ciflash-rehearse-bench: failed: %s\n", failed);
        return 1;
    }
    std::printf("Median of %d runs, %.0f port accesses per update:\n\n", repetitions, accesses);
    std::printf("| Placement | Time | Ptrace floor (µs/access) | Rehearsal (µs/access) | "
                "Rehearsal / floor |\n");
    std::printf("|---|---|---:|---:|---:|\n");
    for (int p = 0; p < 2; ++p) {
        const Samples &s = samples[p];
        const struct {
            const char *name;
            const std::vector<double> &floor, &cost;
        } rows[] = {{"wall", s.floor_wall, s.wall}, {"processor", s.floor_cpu, s.cpu}};
        for (const auto &row : rows)
            std::printf("| %s | %s | %.2f | %.2f | %.3f |\n", p == 0 ? "one core" : "unpinned",
                        row.name, median(row.floor) * 1e6, median(row.cost) * 1e6,
                        median(row.cost) / median(row.floor));
    }
    return 0;
}
