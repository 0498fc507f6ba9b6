// The operating system's side of the update history: where it lives, appending a record so
// that it survives a power cut, the system log, the clock, the host and the user.
#pragma once
#include <cstddef>
#include <cstdint>

// The machine's default history file into `path` (room for `size` bytes), its folder created
// when it is the user's own; false when no folder can be named.
bool history_os_default_path(char *path, size_t size);
// The environment variable `name`, or null; on Linux null too in a program that gained
// privilege from its file (secure_getenv), whose environment its caller chose.
const char *history_os_environment(const char *name);
// Appends one record (a whole line) with a single write on a descriptor opened for appending,
// then flushes the file, and its folder when the file was created, to the disk. Returns 0 or
// the error number. Safe in a signal handler.
int history_os_append(const char *path, const char *line, size_t length);
// The text of an error number of history_os_append.
const char *history_os_error_text(int error);
// Sends the record to the system log under the ident "ciflash"; nothing where there is none.
void history_os_syslog(const char *line);
// Milliseconds since 1970-01-01 00:00 UTC. Safe in a signal handler.
int64_t history_os_now_ms();
unsigned history_os_process_id();
// The host's name and the name of the user running the program ("?" when unknown).
void history_os_host_user(char *host, size_t host_size, char *user, size_t user_size);
