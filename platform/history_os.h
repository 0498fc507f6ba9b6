// The operating system's side of the update history.
#pragma once
#include <cstddef>
#include <cstdint>

// The error of a history path that names no regular file (a FIFO, a device).
constexpr int HISTORY_NOT_A_FILE = -1;

// The machine's default history file into `path` (room for `size` bytes), its folder created
// when it is the user's own; false when no folder can be named.
bool history_os_default_path(char *path, size_t size);
// The environment variable `name`, or null; on Linux null too in a program that gained
// privilege from its file (secure_getenv), whose environment its caller chose.
const char *history_os_environment(const char *name);
// Opens the history file for appending, created when missing (its folder then flushed to the
// disk): never through a symbolic link, never truncated, kept open only when it is a regular
// file. Returns 0 or the error number.
int history_os_open(const char *path);
// True when the open history is empty or ends with a line end. Safe in a signal handler.
bool history_os_at_line_start();
// Appends one record (whole lines) to the open history with a single write, then flushes the
// file to the disk. Returns 0 or the error number. Safe in a signal handler.
int history_os_append(const char *line, size_t length);
const char *history_os_error_text(int error);
// Sends the record to the system log under the ident "ciflash"; nothing where there is none.
void history_os_syslog(const char *line);
// Milliseconds since 1970-01-01 00:00 UTC. Safe in a signal handler.
int64_t history_os_now_ms();
unsigned history_os_process_id();
// The host's name and the name of the user running the program ("?" when unknown).
void history_os_host_user(char *host, size_t host_size, char *user, size_t user_size);
// The numeric id of the user running the program; -1 where the system has none.
long history_os_user_id();
