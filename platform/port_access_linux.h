// The two halves of port_access_open on Linux that are checked on their own.
#pragma once
#include <string>
#include <string_view>
#include <sys/types.h>

// The text for standard error when a window cannot be opened: `error` is ioperm's errno,
// `euid` the effective user id, `has_cap_sys_rawio` whether the effective capability set
// holds CAP_SYS_RAWIO, `lockdown` the content of /sys/kernel/security/lockdown ("" when the
// file is absent) and `exe_path` the program's own path.
std::string port_access_diagnosis(int error, uid_t euid, bool has_cap_sys_rawio,
                                  std::string_view lockdown, std::string_view exe_path);

// Gives up every capability: the effective, permitted, inheritable and ambient sets, and the
// bounding set when the process may change it (CAP_SETPCAP); also sets no-new-privileges.
// Returns true only when reading them all back shows them empty.
bool port_access_drop_caps();
