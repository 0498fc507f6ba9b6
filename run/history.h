// The update history lets a workshop tell which module got which images, when, by whom, and
// how the run ended. A `started` record is on the disk before the first block frame is sent,
// or no frame is sent; an `ended` record follows however the run ends short of a power cut or
// SIGKILL. A run that ends before any block is sent leaves one `ended` record alone.
#pragma once
#include <cstdint>
#include <cstdio>
#include <istream>

constexpr int HISTORY_DEFAULT_RUNS = 20;

// Opens the history file this run's records go to; nullptr or "" keeps no history.
// `syslog_copy` also sends each record to the system log, where there is one. Called once,
// before the run starts. When the file cannot be opened, writes one line on standard error,
// beginning with `program`, naming the file, the reason and `way_out`, and returns false.
bool history_use(const char *program, const char *path, bool syslog_copy, const char *way_out);
// The hardware program's history file: the one CIFLASH_HISTORY names ("" when it is set but
// empty: no history), otherwise this machine's default file, written into `path`; nullptr when
// there is no folder for it.
const char *history_file(char *path, size_t size);
// The hardware program's history: history_file, the default file copied to the system log;
// with `none` (--no-history) none at all, which one line on standard error says. Returns
// false, the reason on standard error, when the run is to be refused.
bool history_use_default(bool none);

// A run refused before the write (e.g. no port access, the terminal too small, the reader in
// use): its ended record with the reason as outcome and exit code 1. Returns 1.
int history_refused(const char *reason);

// Prints the last `runs` runs of a history to `out`, one line each, oldest first: when, who,
// the module, the images, the outcome, INTERRUPTED for a started run that never ended. Lines
// that are not history records are skipped; returns their number, or -1 when the history
// cannot be read.
int history_list(std::istream &history, int runs, std::FILE *out);
// `ciflash --history`: history_list over the hardware program's history file, and a line with
// the number of skipped lines when there are any. Returns the exit code: 0, or 1 when there is
// no history to read.
int history_print(int runs);
