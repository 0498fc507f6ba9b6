// The two halves of port_access_open on Linux that are checked on their own.
#pragma once
#include <string>
#include <string_view>
#include <sys/types.h>

// The text for standard error when a window cannot be opened: `error` is ioperm's errno,
// `lockdown` the content of /sys/kernel/security/lockdown ("" when the file is absent).
std::string port_access_diagnosis(int error, uid_t euid, bool has_cap_sys_rawio,
                                  std::string_view lockdown, std::string_view exe_path);

// Gives up every capability set (the bounding set when CAP_SETPCAP allows) and sets
// no-new-privileges; true only when reading them back shows them empty.
bool port_access_drop_caps();
