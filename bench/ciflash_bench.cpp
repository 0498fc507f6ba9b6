// ciflash-bench: whole runs of ciflash-sim, measured from outside, printed as Markdown tables.
//
// Each run is a child process in a session of its own, with standard input from /dev/null and
// standard output to a file: without a controlling terminal no key can be read, and the outcome
// screen's key wait ends the program as Q does. A run counts only when it exits with 0, showed
// "UPDATE SUCCESSFULL. ", and its report says both pages match the images with no protocol
// error.
//
// Last, `ciflash --history 5` (ciflash-bench-history, built beside the benchmark) reads a
// generated 200 MB history: it must take at most 50 ms and 16 MB of peak memory.
//
// Usage: ciflash-bench SIM [REPETITIONS]
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr double POLL_WAIT_S = 0.010; // the update's wait after every reply poll
// Port accesses of one block frame beyond two per frame byte, when the reply is there at the
// first poll. Send: status and re-check around setting HC, both size bytes, the closing status
// and clearing HC: 6 register accesses of a presence read each plus the access (10 reads,
// 4 writes with the two command writes). Reply: status, size LS, size MS and the closing status
// (8 reads) and the reply frame itself, read without presence checks.
constexpr int SEND_OVERHEAD = 14;
constexpr int REPLY_REGISTER_READS = 8;
constexpr int REPLY_FRAME_BYTES = 6; // start, mode, length, sw1, sw2, check
constexpr int FRAME_OVERHEAD = SEND_OVERHEAD + REPLY_REGISTER_READS + REPLY_FRAME_BYTES;

struct Run {
    double wall_s = 0;
    double cpu_s = 0;
    double max_rss_kib = 0;
    double port_reads = 0;
    double port_writes = 0;
    double frames = 0;
    double buffer_size = 0;
};

std::string scratch_dir;

double seconds(const timespec &t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
double seconds(const timeval &t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

double monotonic_s() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return seconds(now);
}

std::string file_text(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The number after "key": in the report; -1 when it is missing.
double report_number(const std::string &report, const char *key) {
    const std::string tag = std::string("\"") + key + "\": ";
    const size_t at = report.find(tag);
    if (at == std::string::npos) return -1;
    return std::strtod(report.c_str() + at + tag.size(), nullptr);
}

void remove_scratch() {
    std::remove((scratch_dir + "/history.jsonl").c_str());
    std::remove((scratch_dir + "/output").c_str());
    std::remove((scratch_dir + "/report.json").c_str());
    rmdir(scratch_dir.c_str());
}

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "ciflash-bench: %s\n", what.c_str());
    remove_scratch();
    std::exit(1);
}

// Runs the program of `words` in a session of its own, standard input from /dev/null, standard
// output and error to `output`, and measures it; sets `status` to its wait status.
Run run_child(std::vector<std::string> words, const std::string &output, int *status) {
    std::vector<char *> argv;
    for (std::string &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const double start = monotonic_s();
    const pid_t child = fork();
    if (child < 0) fail(std::string("fork: ") + std::strerror(errno));
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (setsid() < 0 || in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
            dup2(out, 2) < 0)
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    rusage usage{};
    if (wait4(child, status, 0, &usage) != child)
        fail(std::string("wait4: ") + std::strerror(errno));
    Run run;
    run.wall_s = monotonic_s() - start;
    run.cpu_s = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.max_rss_kib = static_cast<double>(usage.ru_maxrss);
    return run;
}

// Runs the simulator once with the arguments; ends the benchmark when the run went wrong.
Run run_once(const std::string &sim, const std::vector<std::string> &args) {
    const std::string output = scratch_dir + "/output";
    const std::string report = scratch_dir + "/report.json";
    std::vector<std::string> words = {sim, "--report", report};
    words.insert(words.end(), args.begin(), args.end());
    std::remove(report.c_str());
    int status = 0;
    Run run = run_child(words, output, &status);

    std::string command;
    for (const std::string &word : words) command += " " + word;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail("run did not exit with 0 (status " + std::to_string(status) + "):" + command);
    if (file_text(output).find("UPDATE SUCCESSFULL. ") == std::string::npos)
        fail("run did not end on UPDATE SUCCESSFULL.:" + command);
    const std::string json = file_text(report);
    const bool pages_match = json.find("\"page\": 0, ") != std::string::npos &&
                             json.find("\"matches_image\": false") == std::string::npos &&
                             json.find("\"page\": 1, ") != std::string::npos;
    if (!pages_match || json.find("\"protocol_errors\": [\n  ]") == std::string::npos)
        fail("the module's report shows a wrong update:" + command + "\n" + json);

    run.port_reads = report_number(json, "port_reads");
    run.port_writes = report_number(json, "port_writes");
    run.frames = report_number(json, "frames");
    run.buffer_size = report_number(json, "buffer_size");
    return run;
}

// The median of every measure over the runs, taken measure by measure.
Run median(std::vector<Run> runs) {
    auto middle = [&runs](double Run::*measure) {
        std::vector<double> values;
        for (const Run &run : runs) values.push_back(run.*measure);
        std::sort(values.begin(), values.end());
        const size_t n = values.size();
        return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    };
    Run m;
    for (double Run::*measure : {&Run::wall_s, &Run::cpu_s, &Run::max_rss_kib, &Run::port_reads,
                                 &Run::port_writes, &Run::frames, &Run::buffer_size})
        m.*measure = middle(measure);
    return m;
}

Run measure(const std::string &sim, const std::vector<std::string> &args, int repetitions) {
    std::vector<Run> runs;
    for (int i = 0; i < repetitions; ++i) runs.push_back(run_once(sim, args));
    return median(runs);
}

std::string cpu_model() {
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("model name", 0) != 0) continue;
        const size_t colon = line.find(':');
        return colon == std::string::npos ? line : line.substr(colon + 2);
    }
    return "unknown CPU";
}

void print_machine(int repetitions) {
    utsname system{};
    uname(&system);
    std::printf("Machine: %ld cores, %s, %s %s %s. Median of %d runs per case.\n\n",
                sysconf(_SC_NPROCESSORS_ONLN), cpu_model().c_str(), system.sysname, system.release,
                system.machine, repetitions);
}

// Writes a history of `bytes` bytes as ciflash writes it: runs of a started and an ended record,
// every tenth one refused before the write (its ended record alone); returns the runs.
long write_history(const std::string &path, long bytes) {
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (!file) fail("cannot write " + path + ": " + std::strerror(errno));
    const char *who =
        R"("host":"bench","user":"op","version":"1.0.0","images":[{"size":65536,)"
        R"("sha256":"4f2a9c0e1b7d3a5f6e8c9b0a1d2e3f405162738495a6b7c8d9e0f1a2b3c4d5e6"},)"
        R"({"size":58880,"sha256":"9e8d7c6b5a4f3e2d1c0b9a8f7e6d5c4b3a29180716f5e4d3c2b1)"
        R"(a09f8e7d6c5b"}],"base":"0x340","buffer":259,"frame_mode":1,"module":)"
        R"({"bios_revision":"1.07","bios_date":"2004-05-11","page_number":"2",)"
        R"("asic_version":"2","customer":"ZOLVANT","processor":"51"})";
    long run = 0;
    for (; std::ftell(file) < bytes; ++run) {
        const long s = run % 86400;
        char time[32];
        std::snprintf(time, sizeof time, "2026-12-%02ldT%02ld:%02ld:%02ldZ", run / 86400 % 28 + 1,
                      s / 3600, s / 60 % 60, s % 60);
        if (run % 10)
            std::fprintf(file,
                         R"({"record":"started","run":"r%ld","time":"%s",%s})"
                         "\n",
                         run, time, who);
        std::fprintf(
            file,
            R"({"record":"ended","run":"r%ld","time":"%s","outcome":"%s","blocks":[%d,%d],)"
            R"("sent":[%d,%d],"duration_ms":9210,"exit_code":%d%s%s})"
            "\n",
            run, time, run % 10 ? "success" : "terminal too small", run % 10 ? 236 : 0,
            run % 10 ? 234 : 0, run % 10 ? 236 : 0, run % 10 ? 234 : 0, run % 10 ? 0 : 1,
            run % 10 ? "" : ",", run % 10 ? "" : who);
    }
    std::fclose(file);
    return run;
}

// READER --history 5, measured; ends the benchmark unless it lists 5 runs and exits 0.
Run read_history(const std::string &reader) {
    const std::string output = scratch_dir + "/output";
    int status = 0;
    const Run run = run_child({reader, "--history", "5"}, output, &status);
    const std::string listed = file_text(output);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::count(listed.begin(), listed.end(), '\n') != 5)
        fail("--history 5 did not list 5 runs (status " + std::to_string(status) + "):\n" + listed);
    return run;
}

// `--history 5` on a generated 200 MB history, the medians of the repetitions; ends the
// benchmark when they pass 50 ms or 16 MB.
void measure_history(const std::string &reader, int repetitions) {
    const std::string history = scratch_dir + "/history.jsonl";
    const long runs = write_history(history, 200L << 20);
    setenv("CIFLASH_HISTORY", history.c_str(), 1);
    std::vector<Run> runs_read;
    for (int i = 0; i < repetitions; ++i) runs_read.push_back(read_history(reader));
    const Run r = median(runs_read);
    std::puts("\n`ciflash --history 5` on a generated history:\n");
    std::puts("| History (MB) | Runs | Wall (ms) | CPU (ms) | Peak memory (KiB) |");
    std::puts("|---:|---:|---:|---:|---:|");
    std::printf("| 200 | %ld | %.1f | %.1f | %.0f |\n", runs, r.wall_s * 1000, r.cpu_s * 1000,
                r.max_rss_kib);
    if (r.wall_s > 0.050 || r.max_rss_kib > 16 * 1024)
        fail("--history 5 took more than 50 ms or 16 MB");
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        std::fputs("Usage: ciflash-bench SIM [REPETITIONS]\n", stderr);
        return 2;
    }
    const std::string sim = argv[1];
    const int repetitions = argc == 3 ? std::atoi(argv[2]) : 3;
    if (repetitions < 1) fail("repetitions must be at least 1");
    char scratch[] = "/tmp/ciflash-bench.XXXXXX";
    if (!mkdtemp(scratch)) fail(std::string("mkdtemp: ") + std::strerror(errno));
    scratch_dir = scratch;

    print_machine(repetitions);
    std::puts("Real clock, module latency 0 (`--erase-ms 0 --block-ms 0`):\n");
    std::puts(
        "| Module buffer | Blocks | Floor (s) | Wall (s) | Wall / floor | CPU (s) | CPU / wall "
        "| Reads / byte sent | Writes / byte sent | Accesses / byte sent | Peak memory (KiB) |");
    std::puts("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|");
    std::vector<Run> cases;
    for (const char *buffer : {"128", "256"}) {
        const Run r = measure(
            sim, {"--module-buffer", buffer, "--erase-ms", "0", "--block-ms", "0"}, repetitions);
        const double floor_s = r.frames * POLL_WAIT_S;
        const double sent = r.frames * r.buffer_size;
        std::printf(
            "| %s | %.0f | %.3f | %.3f | %.4f | %.3f | %.4f | %.4f | %.4f | %.4f | %.0f |\n",
            buffer, r.frames, floor_s, r.wall_s, r.wall_s / floor_s, r.cpu_s, r.cpu_s / r.wall_s,
            r.port_reads / sent, r.port_writes / sent, (r.port_reads + r.port_writes) / sent,
            r.max_rss_kib);
        cases.push_back(r);
    }

    std::printf("\nPort accesses: two per byte sent (presence-check read and write) and %d per "
                "block frame (send %d, reply %d + %d); the rest is start-up (detection, reset, "
                "identification):\n\n",
                FRAME_OVERHEAD, SEND_OVERHEAD, REPLY_REGISTER_READS, REPLY_FRAME_BYTES);
    std::puts("| Module buffer | Port reads | Port writes | 2 × bytes sent | Per-frame overhead "
              "| Start-up |");
    std::puts("|---:|---:|---:|---:|---:|---:|");
    for (const Run &r : cases) {
        const double twice_sent = 2 * r.frames * r.buffer_size;
        const double per_frame = r.frames * FRAME_OVERHEAD;
        std::printf("| %.0f | %.0f | %.0f | %.0f | %.0f | %.0f |\n", r.buffer_size, r.port_reads,
                    r.port_writes, twice_sent, per_frame,
                    r.port_reads + r.port_writes - twice_sent - per_frame);
    }

    std::puts("\nVirtual clock (`--fast`), default module latencies:\n");
    std::puts("| Module buffer | Wall (s) | CPU (s) | Peak memory (KiB) |");
    std::puts("|---:|---:|---:|---:|");
    for (const char *buffer : {"128", "256"}) {
        const Run r = measure(sim, {"--fast", "--module-buffer", buffer}, repetitions);
        std::printf("| %s | %.3f | %.3f | %.0f |\n", buffer, r.wall_s, r.cpu_s, r.max_rss_kib);
    }
    const std::string self = argv[0];
    measure_history(self.substr(0, self.rfind('/') + 1) + "ciflash-bench-history", repetitions);

    remove_scratch();
    return 0;
}
