// The shared state, and what the firmware side and the faults do to it.
#include "sim/sim_internal.h"

#include "link/tick.h"

SimConfig sim_config;
SimRecord sim_record;
SimInterface sim_if;
SimFirmware sim_fw;

void sim_protocol_error(const std::string &what) {
    sim_record.protocol_errors.push_back(what);
}

void sim_schedule_reply(const std::vector<uint8_t> &bytes, uint32_t delay_ms, bool read_error) {
    sim_if.pending = true;
    sim_if.pending_since = tick_count();
    sim_if.pending_delay = delay_ms;
    sim_if.pending_bytes = bytes;
    sim_if.pending_re = read_error;
}

void sim_pull_out() {
    sim_if.inserted = false;
    ++sim_record.faults_injected;
}
