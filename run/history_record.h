// The update history's record of the run, kept by the history's program side (history.cpp)
// and written out by its record side (history_record.cpp), which the signal handlers and the
// process's end reach without the rest of the program.
#pragma once
#include <csignal>
#include <cstddef>
#include <cstdint>

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
extern HistoryRun history_run;

// Names the run (time and process), its start time, host and user.
void history_name_run();
// Writes the started record; returns 0 or the error number.
int history_write_started();
// Copies a text up to its first newline, cut to fit.
void history_copy_text(char *to, size_t size, const char *text);
