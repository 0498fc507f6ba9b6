#include "rehearse/port_grant.h"

#include <cstdio>
#include <fstream>

#include "link/registers.h"

PortGrant port_grant;

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

namespace {

std::string request_text(const PortRequest &r) {
    return hex(r.from) + "-" + hex(r.from + r.count - 1) + (r.turn_on ? "" : " (off)");
}

bool windows_exact() {
    const std::vector<PortRequest> &requests = port_grant.requests;
    if (requests.size() != std::size(IO_BASES)) return false;
    for (const uint16_t base : IO_BASES) {
        bool asked = false;
        for (const PortRequest &r : requests)
            asked = asked || (r.from == base && r.count == IO_WINDOW && r.turn_on);
        if (!asked) return false;
    }
    return true;
}

bool refuse_windows() {
    std::string asked;
    for (const PortRequest &r : port_grant.requests) asked += " " + request_text(r);
    port_grant.refusal = "the program asked for the I/O ports" +
                         (asked.empty() ? std::string(" (none)") : asked) + ", not exactly";
    for (const uint16_t base : IO_BASES)
        port_grant.refusal += " " + request_text({base, IO_WINDOW, true});
    return false;
}

// The capability set named `field` ("CapEff") in /proc/PID/status, as its hex text.
std::string capability_set(pid_t pid, const std::string &field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":\t", 0) == 0) return line.substr(field.size() + 2);
    return "unknown";
}

} // namespace

bool grant_request(uint32_t from, uint32_t count, bool turn_on) {
    port_grant.requests.push_back({from, count, turn_on});
    return !port_grant.checked || grant_check_windows();
}

bool grant_check_windows() {
    return windows_exact() || refuse_windows();
}

bool grant_check_first_access(pid_t pid) {
    port_grant.checked = true;
    if (!grant_check_windows()) return false;
    const std::string effective = capability_set(pid, "CapEff");
    const std::string permitted = capability_set(pid, "CapPrm");
    const std::string empty(16, '0');
    if (effective == empty && permitted == empty) return true;
    port_grant.refusal = "the program still holds capabilities at its first port access "
                         "(effective " +
                         effective + ", permitted " + permitted +
                         "): it must give them up once the ports are open";
    return false;
}

bool grant_covers(uint16_t port) {
    for (const PortRequest &r : port_grant.requests)
        if (r.turn_on && port >= r.from && port - r.from < r.count) return true;
    return false;
}

void grant_report_members(JsonOut &out) {
    json_array(out, "ioperm_windows");
    for (const PortRequest &r : port_grant.requests) {
        json_object(out, nullptr);
        json_string(out, "from", hex(r.from).c_str());
        json_int(out, "ports", r.count);
        json_bool(out, "turn_on", r.turn_on);
        json_end(out);
    }
    json_end(out);
}
