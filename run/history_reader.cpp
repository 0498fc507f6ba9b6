// The history is read back from the end of the file, like `tail`, until the runs asked for are
// complete. A line that is not a complete record (a power cut mid-write, a foreign line) is
// skipped and counted.
#include "run/history.h"

#include "platform/history_os.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <utility>
#include <vector>

namespace {

// A record's values by path: "module.customer", "images.0.sha256"; numbers as written.
using Fields = std::vector<std::pair<std::string, std::string>>;

struct Parser {
    const char *at;
    const char *end;
    Fields fields;
    int depth;
};

constexpr int MAX_DEPTH = 8;

void skip_blanks(Parser &p) {
    while (p.at < p.end && (*p.at == ' ' || *p.at == '\t' || *p.at == '\r')) ++p.at;
}

bool take(Parser &p, char c) {
    skip_blanks(p);
    if (p.at == p.end || *p.at != c) return false;
    ++p.at;
    return true;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A \u escape's character in UTF-8; a lone surrogate gives bytes that are shown as '?'.
void put_utf8(std::string *text, int code) {
    if (code >= 0x80 && code < 0x800) *text += static_cast<char>(0xC0 | code >> 6);
    if (code >= 0x800) *text += static_cast<char>(0xE0 | code >> 12);
    if (code >= 0x800) *text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    *text += static_cast<char>(code < 0x80 ? code : 0x80 | (code & 0x3F));
}

// A string after its opening quote.
bool parse_string(Parser &p, std::string *text) {
    const char SIMPLE[] = "\"\"\\\\//b\bf\fn\nr\rt\t";
    while (p.at < p.end && *p.at != '"') {
        char c = *p.at++;
        if (static_cast<uint8_t>(c) < 0x20) return false;
        if (c == '\\') {
            if (p.at == p.end) return false;
            const char kind = *p.at++;
            const char *simple = std::strchr(SIMPLE, kind);
            if (kind != 'u' && (!kind || !simple || (simple - SIMPLE) % 2)) return false;
            if (kind != 'u') c = simple[1];
            int code = 0;
            for (int i = 0; kind == 'u' && i < 4; ++i) {
                const int digit = p.at < p.end ? hex_digit(*p.at++) : -1;
                if (digit < 0) return false;
                code = code * 16 + digit;
            }
            if (kind == 'u') {
                put_utf8(text, code);
                continue;
            }
        }
        *text += c;
    }
    return p.at++ < p.end;
}

bool parse_value(Parser &p, const std::string &path);

bool parse_members(Parser &p, const std::string &path, bool object) {
    const std::string prefix = path.empty() ? path : path + ".";
    if (take(p, object ? '}' : ']')) return true;
    for (int index = 0;; ++index) {
        std::string key = std::to_string(index);
        if (object && !(take(p, '"') && parse_string(p, &(key = "")) && take(p, ':'))) return false;
        if (!parse_value(p, prefix + key)) return false;
        if (take(p, object ? '}' : ']')) return true;
        if (!take(p, ',')) return false;
    }
}

bool parse_value(Parser &p, const std::string &path) {
    skip_blanks(p);
    if (p.at == p.end || ++p.depth > MAX_DEPTH) return false;
    const char c = *p.at;
    bool ok = true;
    std::string value;
    if (c == '{' || c == '[') {
        ++p.at;
        ok = parse_members(p, path, c == '{');
    } else if (c == '"') {
        ++p.at;
        ok = parse_string(p, &value);
        p.fields.emplace_back(path, value);
    } else {
        while (p.at < p.end && std::strchr("0123456789+-.eEtruefalsn", *p.at)) value += *p.at++;
        char *rest = nullptr;
        std::strtod(value.c_str(), &rest);
        ok =
            value == "true" || value == "false" || value == "null" ||
            (!value.empty() && !*rest && (value[0] == '-' || (value[0] >= '0' && value[0] <= '9')));
        p.fields.emplace_back(path, value);
    }
    --p.depth;
    return ok;
}

const std::string *field(const Fields &fields, const char *path) {
    for (const auto &f : fields)
        if (f.first == path) return &f.second;
    return nullptr;
}

std::string value_of(const Fields &fields, const char *path) {
    const std::string *value = field(fields, path);
    return value ? *value : "?";
}

bool parse_record(const std::string &line, Fields *fields) {
    Parser p = {line.data(), line.data() + line.size(), {}, 0};
    skip_blanks(p);
    if (p.at == p.end || *p.at != '{' || !parse_value(p, "")) return false;
    skip_blanks(p);
    const std::string *kind = field(p.fields, "record");
    if (p.at != p.end || !kind || !field(p.fields, "run")) return false;
    if (*kind != "started" && *kind != "ended") return false;
    *fields = std::move(p.fields);
    return true;
}

// A run: its started record, its ended record, either of them missing; `at` is where its
// first record begins in the file.
struct Run {
    uint64_t at;
    Fields started, ended;
};

// Texts from the file reach the operator's terminal: control characters (C0, DEL, C1) and
// bytes that are not UTF-8 are shown as '?'.
std::string shown(const std::string &text) {
    const uint32_t LEAST[] = {0, 0, 0x80, 0x800, 0x10000}; // below: an overlong form
    std::string out;
    for (size_t i = 0, n; i < text.size(); i += n) {
        const auto lead = static_cast<uint8_t>(text[i]);
        const size_t length = lead < 0x80   ? 1
                              : lead < 0xC2 ? 0
                              : lead < 0xE0 ? 2
                              : lead < 0xF0 ? 3
                              : lead < 0xF5 ? 4
                                            : 0;
        uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (n = 1; n < length && i + n < text.size() && (text[i + n] & 0xC0) == 0x80; ++n)
            code = code << 6 | (static_cast<uint8_t>(text[i + n]) & 0x3Fu);
        const bool control = code < 0x20 || (code >= 0x7F && code < 0xA0);
        const bool whole = length && n == length && code >= LEAST[length] && code <= 0x10FFFF;
        out += whole && !control && (code < 0xD800 || code > 0xDFFF) ? text.substr(i, n) : "?";
    }
    return out;
}

// Blocks per page as the ended record gives them: acknowledged by the module / frames sent.
std::string block_counts(const Fields &ended) {
    std::string text = "blocks";
    for (const std::string page : {"0", "1"})
        text += " " + value_of(ended, ("blocks." + page).c_str()) + "/" +
                value_of(ended, ("sent." + page).c_str());
    return text;
}

void print_run(const Run &run, std::FILE *out) {
    const Fields &who = run.started.empty() ? run.ended : run.started;
    std::string module;
    const char *const KEYS[][2] = {{"bios_revision", "bios"}, {"bios_date", "date"},
                                   {"page_number", "page"},   {"asic_version", "asic"},
                                   {"customer", "customer"},  {"processor", "processor"}};
    for (const auto &key : KEYS) {
        const std::string *value = field(who, ("module." + std::string(key[0])).c_str());
        if (value) module += (module.empty() ? "" : ", ") + std::string(key[1]) + " " + *value;
    }
    const std::string images = value_of(who, "images.0.sha256").substr(0, 12) + " " +
                               value_of(who, "images.1.sha256").substr(0, 12);
    const std::string outcome = run.ended.empty() ? "INTERRUPTED"
                                                  : block_counts(run.ended) + "  exit " +
                                                        value_of(run.ended, "exit_code") + ": " +
                                                        value_of(run.ended, "outcome");
    const std::string line =
        value_of(who, "time") + "  " + value_of(who, "user") + "@" + value_of(who, "host") + "  " +
        (module.empty() ? "no module" : module) + "  images " + images + "  " + outcome;
    std::fprintf(out, "%s\n", shown(line).c_str());
}

bool read_at(std::istream &history, uint64_t at, std::string *to) {
    history.seekg(static_cast<std::streamoff>(at));
    history.read(to->data(), static_cast<std::streamsize>(to->size()));
    return history.good();
}

constexpr size_t READ_BLOCK = 65536;
// A longer line is no record (the writer's are a few KiB): skipped without being held whole.
constexpr size_t LONGEST_LINE = 1 << 20;

// What reading back has found: whole runs, and the ended records still waiting to learn
// whether a started record of their run precedes them.
struct Found {
    std::vector<Run> runs;
    std::map<std::string, Run> waiting; // by run id
    std::vector<uint64_t> skipped;      // where the skipped lines begin, last first
};

// A line read back, every line after it already taken. Runs pair as the file grew: an ended
// record closes its id's started record when that is the id's record just before it; one
// that names its host was written by a run that never started its write, and is a run alone.
void take_line(Found &found, const std::string &line, uint64_t at, bool too_long) {
    Fields fields;
    if (too_long || line.size() > LONGEST_LINE || !parse_record(line, &fields)) {
        if (too_long || line.find_first_not_of(" \t\r") != std::string::npos)
            found.skipped.push_back(at);
        return;
    }
    const std::string id = *field(fields, "run");
    const bool started = *field(fields, "record") == "started";
    Run run = {at, {}, {}};
    const auto later = found.waiting.find(id);
    if (later != found.waiting.end()) {
        if (started)
            run.ended = std::move(later->second.ended);
        else
            found.runs.push_back(std::move(later->second));
        found.waiting.erase(later);
    }
    (started ? run.started : run.ended) = std::move(fields);
    if (started || field(run.ended, "host"))
        found.runs.push_back(std::move(run));
    else
        found.waiting.emplace(id, std::move(run));
}

// Keeps the `wanted` runs that begin last, in no order.
void keep_last(std::vector<Run> &runs, size_t wanted) {
    if (runs.size() <= wanted) return;
    std::nth_element(runs.begin(), runs.begin() + static_cast<long>(wanted - 1), runs.end(),
                     [](const Run &a, const Run &b) { return a.at > b.at; });
    runs.resize(wanted);
}

// Whether the runs found are the last `wanted` of the file: no ended record still waiting
// could be a run of its own among them.
bool enough(Found &found, size_t wanted) {
    if (found.runs.size() < wanted) return false;
    keep_last(found.runs, wanted);
    uint64_t earliest = found.runs[0].at;
    for (const Run &run : found.runs) earliest = std::min(earliest, run.at);
    for (const auto &waiting : found.waiting)
        if (waiting.second.at > earliest) return false;
    return true;
}

// Lists the last runs of `size` bytes of history; returns the lines skipped among them (all
// of those read when there is no run), or -1 when the source could not be read.
int list_runs(std::istream &history, uint64_t size, int runs, std::FILE *out) {
    const auto wanted = static_cast<size_t>(runs);
    Found found;
    std::string carry;     // the bytes from `at` on that are not yet split into lines
    bool too_long = false; // carry's last line is longer than a record, its end not kept
    uint64_t at = size;
    while (at > 0 && !enough(found, wanted)) {
        std::string block(static_cast<size_t>(std::min<uint64_t>(READ_BLOCK, at)), '\0');
        at -= block.size();
        if (!read_at(history, at, &block)) return -1;
        carry.insert(0, block);
        size_t end = carry.size();
        for (size_t nl; end > 0 && (nl = carry.rfind('\n', end - 1)) != std::string::npos;
             end = nl, too_long = false)
            take_line(found, carry.substr(nl + 1, end - nl - 1), at + nl + 1, too_long);
        carry.resize(end);
        if (at == 0) take_line(found, carry, 0, too_long);
        if (carry.size() > LONGEST_LINE) {
            too_long = true;
            carry.clear();
        }
    }
    if (at == 0)
        for (auto &waiting : found.waiting) found.runs.push_back(std::move(waiting.second));
    keep_last(found.runs, wanted);
    std::sort(found.runs.begin(), found.runs.end(),
              [](const Run &a, const Run &b) { return a.at < b.at; });
    for (const Run &run : found.runs) print_run(run, out);
    const bool none = found.runs.empty();
    const uint64_t first = none ? 0 : found.runs[0].at;
    return static_cast<int>(std::count_if(found.skipped.begin(), found.skipped.end(),
                                          [=](uint64_t line) { return none || line > first; }));
}

} // namespace

const char *history_file(char *path, size_t size) {
    const char *named = history_os_environment("CIFLASH_HISTORY");
    if (named) return named;
    return history_os_default_path(path, size) ? path : nullptr;
}

int history_list(std::istream &history, int runs, std::FILE *out) {
    history.seekg(0, std::ios::end);
    const auto size = static_cast<uint64_t>(history.tellg());
    return history ? list_runs(history, size, runs, out) : -1;
}

int history_print(int runs) {
    char path[1024] = "";
    const char *file_name = history_file(path, sizeof path);
    if (!file_name) {
        std::fputs("ciflash: no folder for the history (no home folder?)\n", stderr);
        return 1;
    }
    if (!*file_name) {
        std::fputs("ciflash: no history is kept: CIFLASH_HISTORY is empty\n", stderr);
        return 1;
    }
    errno = 0;
    std::ifstream file(file_name, std::ios::binary);
    const int skipped = file ? history_list(file, runs, stdout) : -1;
    if (skipped < 0) {
        std::fprintf(stderr, "ciflash: no history in %s: %s\n", file_name,
                     std::strerror(errno ? errno : EIO));
        return 1;
    }
    if (skipped) std::printf("%d lines skipped: not history records\n", skipped);
    return 0;
}
