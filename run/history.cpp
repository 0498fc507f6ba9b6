// The update history's writer: what the run learns on its way into the record, and the
// records themselves, formatted without allocation or stdio so that the ended record of a
// signal can be written from its handler.
#include "run/history.h"

#include <csignal>
#include <cstdio>

#include "link/ci_link.h"
#include "platform/history_os.h"
#include "platform/process.h"
#include "protocol/history_notes.h"
#include "protocol/identify.h"
#include "protocol/page_image.h"
#include "protocol/run_state.h"
#include "json/json_out.h"

namespace {

constexpr int HISTORY_IDENT_FIELDS = 6; // identification tags 1 to 6

struct HistoryRun {
    const char *program; // the name the program's messages begin with
    char path[1024];     // empty: no history (none asked for, or it could not be opened)
    bool syslog_copy;
    int64_t start_ms;
    char run_id[40];
    char host[128];
    char user[64];
    long uid; // -1: none
    uint32_t image_size[2];
    const char *image_sha256[2];
    uint16_t base, buffer; // the reader's base port and the negotiated buffer, as last known
    uint8_t frame_mode;
    char ident[HISTORY_IDENT_FIELDS][256]; // by tag - 1, as shown on screen
    bool ident_read[HISTORY_IDENT_FIELDS];
    char outcome[128];
    int outcome_exit_code; // the exit code of the outcome's screen
    uint32_t sent[2];      // block frames sent per page, the erasing one included
    uint32_t blocks[2];    // block frames the module acknowledged per page
    bool started;
    volatile sig_atomic_t ended;
    int failed_error; // error number of the first record not written, 0 for none
};
HistoryRun run;

constexpr size_t RECORD_SIZE = 4096;
constexpr char HEX[] = "0123456789abcdef";

const char *const IDENT_KEYS[] = {"bios_revision", "bios_date", "page_number",
                                  "asic_version",  "customer",  "processor"};

// ISO 8601 UTC time of `ms` since 1970, to the second, at `to` (room for 127 bytes);
// `compact` leaves out the separators. Returns the end.
char *put_time(char *to, int64_t ms, bool compact) {
    const int64_t seconds = ms / 1000, days = seconds / 86400, second_of_day = seconds % 86400;
    // Civil date from days since 1970-01-01 (proleptic Gregorian calendar, years from 1970).
    const int64_t z = days + 719468, era = z / 146097, doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2);
    const int64_t parts[] = {
        year, month, day, second_of_day / 3600, second_of_day / 60 % 60, second_of_day % 60};
    for (int i = 0; i < 6; ++i) {
        if (i && (!compact || i == 3)) *to++ = "--T::"[i - 1];
        to = json_decimal(to, static_cast<uint64_t>(parts[i]), i ? 2 : 4);
    }
    *to++ = 'Z';
    return to;
}

void put_identity(JsonOut &o) {
    json_string(o, "host", run.host);
    json_string(o, "user", run.user);
    if (run.uid >= 0) json_int(o, "uid", run.uid);
    json_string(o, "version", CIFLASH_VERSION);
    json_array(o, "images");
    for (int page = 0; page < 2; ++page) {
        json_object(o, nullptr);
        json_int(o, "size", run.image_size[page]);
        json_string(o, "sha256", run.image_sha256[page] ? run.image_sha256[page] : "");
        json_end(o);
    }
    json_end(o);
    const char base[] = {
        '0', 'x', HEX[run.base >> 8 & 15], HEX[run.base >> 4 & 15], HEX[run.base & 15], 0};
    json_string(o, "base", base);
    json_int(o, "buffer", run.buffer);
    json_int(o, "frame_mode", run.frame_mode);
    json_object(o, "module");
    for (int tag = 0; tag < HISTORY_IDENT_FIELDS; ++tag)
        if (run.ident_read[tag]) json_string(o, IDENT_KEYS[tag], run.ident[tag]);
    json_end(o);
}

// The record's start: a line end first when the file's last line was cut short, so that the
// record is a line of its own; its kind, the run and the time.
JsonOut open_record(char *record, size_t size, const char *kind, int64_t now) {
    char *at = record, time[128];
    if (!history_os_at_line_start()) *at++ = '\n';
    JsonOut o = json_buffer(at, record + size);
    json_object(o, nullptr);
    json_string(o, "record", kind);
    json_string(o, "run", run.run_id);
    *put_time(time, now, false) = '\0';
    json_string(o, "time", time);
    return o;
}

// Appends the record unless it was cut short; returns 0 or the error number.
int append(char *record, JsonOut &o, bool syslog_copy) {
    json_end(o);
    if (o.cut) return 0;
    const int error = history_os_append(record, static_cast<size_t>(o.at - record));
    if (error && !run.failed_error) run.failed_error = error;
    if (syslog_copy && run.syslog_copy) history_os_syslog(record[0] == '\n' ? record + 1 : record);
    return error;
}

void put_pages(JsonOut &o, const char *key, const uint32_t (&counts)[2]) {
    json_array(o, key);
    json_int(o, nullptr, counts[0]);
    json_int(o, nullptr, counts[1]);
    json_end(o);
}

// Writes the ended record of a run ending with this exit code, or by signal `number` (0 for
// none). An outcome noted on screen stays the outcome, with the exit code of its screen; the
// system log gets no copy from a signal handler.
void write_ended(int exit_code, int number, bool syslog_copy) {
    char signal_outcome[32] = "signal ";
    *json_decimal(signal_outcome + 7, static_cast<uint64_t>(number), 1) = '\0';
    const char *outcome = run.outcome[0] ? run.outcome
                          : number       ? signal_outcome
                                         : "quit before the write";
    const int64_t now = history_os_now_ms();
    char record[RECORD_SIZE];
    JsonOut o = open_record(record, sizeof record, "ended", now);
    json_string(o, "outcome", outcome);
    put_pages(o, "blocks", run.blocks);
    put_pages(o, "sent", run.sent);
    json_int(o, "duration_ms", now - run.start_ms);
    json_int(o, "exit_code", run.outcome[0] && number ? run.outcome_exit_code : exit_code);
    if (run.outcome[0] && number) json_int(o, "signal", number);
    // A run that never started its write has no other record: this one says what was known.
    if (!run.started) put_identity(o);
    append(record, o, syslog_copy);
}

void copy_text(char *to, size_t size, const char *text) {
    size_t n = 0;
    while (n + 1 < size && text[n] && text[n] != '\n') {
        to[n] = text[n];
        ++n;
    }
    to[n] = '\0';
}

void name_run() {
    run.start_ms = history_os_now_ms();
    char id[160];
    char *at = put_time(id, run.start_ms, true);
    *at++ = '-';
    *json_decimal(at, history_os_process_id(), 1) = '\0';
    copy_text(run.run_id, sizeof run.run_id, id);
    history_os_host_user(run.host, sizeof run.host, run.user, sizeof run.user);
    run.uid = history_os_user_id();
}

int write_started() {
    char record[RECORD_SIZE];
    JsonOut o = open_record(record, sizeof record, "started", history_os_now_ms());
    put_identity(o);
    const int error = append(record, o, true);
    run.started = error == 0;
    return error;
}

// The link's and the identification's values as they are now.
void note_link() {
    run.base = ci_io_base();
    run.buffer = buffer_size;
    run.frame_mode = frame_mode;
}

} // namespace

bool history_use(const char *program, const char *path, bool syslog_copy, const char *way_out) {
    run.program = program;
    if (!path || !*path) return true;
    const int error = history_os_open(path);
    if (error) {
        std::fprintf(stderr, "%s: the update history %s cannot be opened: %s; %s\n", program, path,
                     history_os_error_text(error), way_out);
        return false;
    }
    copy_text(run.path, sizeof run.path, path);
    run.syslog_copy = syslog_copy;
    run.image_size[0] = page_image_0.size;
    run.image_size[1] = page_image_1.size;
    run.image_sha256[0] = page_image_0_sha256;
    run.image_sha256[1] = page_image_1_sha256;
    name_run();
    return true;
}

bool history_use_default(bool none) {
    const char way_out[] =
        "make it a plain writable file, or run 'ciflash --no-history' to update without a record";
    if (none) {
        std::fputs("ciflash: --no-history: this run leaves no record in the update history\n",
                   stderr);
        return history_use("ciflash", nullptr, false, way_out);
    }
    char path[sizeof run.path] = "";
    const char *file = history_file(path, sizeof path);
    if (file) return history_use("ciflash", file, file == path, way_out);
    std::fprintf(stderr, "ciflash: no folder can be named for the update history (HOME is not "
                         "set): set CIFLASH_HISTORY=FILE, or run 'ciflash --no-history'\n");
    return false;
}

void history_note_ident(uint8_t tag, const char *text) {
    if (tag < IDENT_BIOS_REVISION || tag > IDENT_PROCESSOR) return;
    copy_text(run.ident[tag - 1], sizeof run.ident[tag - 1], text);
    run.ident_read[tag - 1] = true;
    note_link();
}

void history_note_outcome(const char *line, int exit_code) {
    copy_text(run.outcome, sizeof run.outcome, line);
    run.outcome_exit_code = exit_code;
    note_link();
}

void history_note_sent(uint8_t page) {
    ++run.sent[page & 1];
}

void history_note_block(uint8_t page) {
    ++run.blocks[page & 1];
}

bool history_started() {
    if (!run.path[0] || run.started) return true;
    note_link();
    if (write_started() == 0) return true;
    // No write without its record: the run ends, and its end says why.
    history_note_outcome("update history not written", 1);
    return false;
}

int history_refused(const char *reason) {
    history_note_outcome(reason, 1);
    run_ended(1);
    return 1;
}

// The ended record of a run ending with this exit code (128 + n: ended by signal n), once;
// then a line on standard error if any record could not be written.
void run_ended(int exit_code) {
    if (!run.path[0] || run.ended) return;
    run.ended = 1;
    const bool by_signal = exit_code > 128 && exit_code < 128 + 65;
    write_ended(exit_code, by_signal ? exit_code - 128 : 0, true);
    if (run.failed_error)
        std::fprintf(stderr, "%s: the update history was not written to %s: %s%s\n", run.program,
                     run.path, history_os_error_text(run.failed_error),
                     run.started ? "" : "; nothing was sent to the module");
}

// A run with an outcome on screen keeps it, with its screen's exit code and the signal beside
// them. Signal-safe: no allocation, no stdio, only fstat(2), pread(2), write(2) and fsync(2),
// and no system log copy.
void run_ended_by_signal(int number, int exit_code) {
    if (!run.path[0] || run.ended) return;
    run.ended = 1;
    write_ended(exit_code, number, false);
}
