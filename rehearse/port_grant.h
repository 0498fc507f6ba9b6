// What the supervised program was granted: the I/O port windows it asked for with ioperm (each
// request is answered with success, none reaches the kernel), and the checks made at its first
// port access.
#pragma once
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

#include "json/json_out.h"

struct PortRequest {
    uint32_t from;
    uint32_t count;
    bool turn_on;
};

struct PortGrant {
    std::vector<PortRequest> requests;
    bool checked = false; // the first port access has passed the checks
    std::string refusal;  // why the run was stopped; empty while it goes on
};

extern PortGrant port_grant;

// Records an ioperm request. After the first port access, any further request changes the
// windows and stops the run (returns false).
bool grant_request(uint32_t from, uint32_t count, bool turn_on);

// Whether the requests are exactly the five interface windows; if not, the refusal is set.
bool grant_check_windows();

// The checks before the program's first port access: exactly the five interface windows were
// asked for, and the program holds no capability any more. Returns false with the refusal set.
bool grant_check_first_access(pid_t pid);

// Whether the requests cover the port.
bool grant_covers(uint16_t port);

// A port or an address as the refusals and the report write it: "0x" and upper-case hex.
std::string hex(uint64_t value);

// The report's "ioperm_windows" member.
void grant_report_members(JsonOut &out);
