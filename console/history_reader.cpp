// `ciflash --history`: reads the history's JSON Lines back and lists its runs. Every line is
// parsed in full; one that is not a complete record (a power cut mid-write, a foreign line) is
// skipped and counted.
#include "console/history.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

// A string after its opening quote; \u escapes above 0xFF read as '?'.
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
            if (kind == 'u') c = code > 0xFF ? '?' : static_cast<char>(code);
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

// A history record: one JSON object, nothing after it, naming its kind and its run.
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

struct Run {
    Fields started, ended;
};

// Texts from the file reach the operator's terminal: control characters are shown as '?'.
std::string shown(std::string text) {
    for (char &c : text)
        if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F) c = '?';
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
                                                  : "exit " + value_of(run.ended, "exit_code") +
                                                        ": " + value_of(run.ended, "outcome");
    const std::string line =
        value_of(who, "time") + "  " + value_of(who, "user") + "@" + value_of(who, "host") + "  " +
        (module.empty() ? "no module" : module) + "  images " + images + "  " + outcome;
    std::fprintf(out, "%s\n", shown(line).c_str());
}

} // namespace

int history_list(const std::string &text, int runs, std::FILE *out) {
    std::vector<Run> all;
    std::map<std::string, size_t> by_id;
    int skipped = 0;
    for (size_t start = 0; start < text.size();) {
        size_t stop = text.find('\n', start);
        if (stop == std::string::npos) stop = text.size();
        const std::string line = text.substr(start, stop - start);
        start = stop + 1;
        Fields fields;
        if (!parse_record(line, &fields)) {
            skipped += line.find_first_not_of(" \t\r") != std::string::npos;
            continue;
        }
        const std::string id = *field(fields, "run");
        const bool started = *field(fields, "record") == "started";
        const auto found = by_id.find(id);
        Run *run = found == by_id.end() ? nullptr : &all[found->second];
        // An ended record belongs to the open run of its id; anything else starts a run.
        if (!run || started || !run->ended.empty()) {
            by_id[id] = all.size();
            run = &all.emplace_back();
        }
        (started ? run->started : run->ended) = std::move(fields);
    }
    const auto wanted = static_cast<size_t>(runs);
    const size_t first = all.size() > wanted ? all.size() - wanted : 0;
    for (size_t i = first; i < all.size(); ++i) print_run(all[i], out);
    return skipped;
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
    std::FILE *file = std::fopen(file_name, "rb");
    if (!file) {
        std::fprintf(stderr, "ciflash: no history in %s: %s\n", file_name, std::strerror(errno));
        return 1;
    }
    std::string text;
    char chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
    std::fclose(file);
    const int skipped = history_list(text, runs, stdout);
    if (skipped) std::printf("%d lines skipped: not history records\n", skipped);
    return 0;
}
