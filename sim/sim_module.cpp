// Register-level model of the module's command interface. Strict: an access out of order is
// answered as a real interface would (WE/RE) and recorded as a protocol error.
#include "sim/sim_internal.h"

#include <cstdio>

#include "link/registers.h"
#include "link/tick.h"
#include "sim/sim_faults.h"
#include "sim/sim_port.h"

void sim_reset() {
    sim_record = SimRecord{};
    sim_if = SimInterface{};
    sim_if.inserted = !sim_config.no_module && !sim_config.late_insert;
    sim_if.late_armed = sim_config.late_insert && !sim_config.no_module;
    sim_if.fr = true; // power-on: idle and free
    fw_reset();
    sim_faults_reset();
}

static void offer_pending_reply() {
    if (sim_if.stuck && sim_if.stuck_timed &&
        static_cast<int32_t>(tick_count() - sim_if.stuck_until) >= 0) {
        sim_if.stuck = sim_if.stuck_timed = false;
        sim_if.fr = true;
    }
    if (!sim_if.pending) return;
    if (static_cast<uint32_t>(tick_count() - sim_if.pending_since) < sim_if.pending_delay) return;
    sim_if.pending = false;
    sim_if.out = sim_if.pending_bytes;
    sim_if.out_pos = 0;
    sim_if.re_after_out = sim_if.pending_re;
    sim_if.da = true;
}

static void message_taken() {
    sim_if.da = false;
    if (sim_if.re_after_out) sim_if.re = true;
    if (sim_if.command & COMMAND_SR) return; // the size reply: free once it is read
    if (!sim_if.stuck) sim_if.fr = true;
    fw_module_free();
}

static uint8_t read_data() {
    if (!sim_if.da || sim_if.out_pos >= sim_if.out.size()) {
        sim_protocol_error("data register read without DA");
        sim_if.re = true;
        return 0x00;
    }
    const uint8_t byte = sim_if.out[sim_if.out_pos++];
    if (sim_if.out_pos == sim_if.out.size()) message_taken();
    return byte;
}

static uint8_t read_size(int shift) {
    if (!sim_if.da) return 0;
    const uint8_t value = static_cast<uint8_t>(sim_if.out.size() >> shift);
    // An empty message is taken once its length has been read.
    if (shift == 8 && sim_if.out.empty()) message_taken();
    return value;
}

// Bits the link must mask away: an interface may set them, so the model always does.
constexpr uint8_t STATUS_UNUSED_BITS = 0x24;

static uint8_t status_byte() {
    return static_cast<uint8_t>(STATUS_UNUSED_BITS | (sim_if.da ? STATUS_DA : 0) |
                                (sim_if.fr ? STATUS_FR : 0) | (sim_if.we ? STATUS_WE : 0) |
                                (sim_if.re ? STATUS_RE : 0));
}

static bool in_window(uint16_t port) {
    return port >= sim_config.base && port < sim_config.base + IO_WINDOW;
}

static uint8_t read_register(uint16_t port) {
    ++sim_record.port_reads;
    if (sim_if.late_armed && port == IO_BASES[IO_BASE_COUNT - 1] + REG_STATUS) {
        // The first probe has passed every base: the operator inserts the module now.
        sim_if.late_armed = false;
        sim_if.inserted = true;
        return 0xFF;
    }
    if (!sim_if.inserted || !in_window(port)) return 0xFF;
    offer_pending_reply();
    uint8_t value = 0;
    switch (port - sim_config.base) {
    case REG_DATA:
        value = read_data();
        break;
    case REG_STATUS:
        value = status_byte();
        break;
    case REG_SIZE_LS:
        value = read_size(0);
        break;
    default:
        value = read_size(8);
        break;
    }
    return sim_faults_on_read(port - sim_config.base, value);
}

static void begin_host_message() {
    sim_if.fr_at_hc = sim_if.fr;
    sim_if.host_size = 0;
    sim_if.size_regs_written = 0;
    sim_if.host_discard = false;
    sim_if.host_bytes.clear();
    if (fw_remove_in_identify(0)) sim_pull_out();
}

static void end_host_message() {
    if (sim_if.size_regs_written == 0 && sim_if.host_bytes.empty()) return; // HC given back
    if (!(sim_if.command & COMMAND_SW)) sim_record.messages.push_back(sim_if.host_bytes);
    if (sim_if.size_regs_written != 3) sim_protocol_error("message without both size bytes");
    if (sim_if.host_bytes.size() < sim_if.host_size) {
        sim_protocol_error("message shorter than its announced size");
        return;
    }
    if (sim_if.host_discard || sim_if.host_bytes.size() > sim_if.host_size) return;
    if (sim_if.command & COMMAND_SW) {
        if (sim_if.host_bytes.size() != 2) {
            sim_protocol_error("size write of " + std::to_string(sim_if.host_bytes.size()) +
                               " bytes");
            return;
        }
        sim_record.negotiated =
            static_cast<uint16_t>(sim_if.host_bytes[0] << 8 | sim_if.host_bytes[1]);
        if (sim_record.negotiated > sim_config.module_buffer)
            sim_protocol_error("negotiated size above the module's offer");
        return;
    }
    sim_if.fr = false; // busy with the message
    fw_host_message(sim_if.host_bytes);
}

static void reset_interface() {
    sim_if.da = sim_if.fr = sim_if.we = sim_if.re = false;
    sim_if.stuck = sim_if.stuck_timed = false;
    sim_if.pending = false;
    sim_if.out.clear();
    sim_if.out_pos = 0;
    sim_if.re_after_out = false;
    sim_if.host_bytes.clear();
}

// SR: the module presents its buffer size as a message, most significant byte first.
static void present_size() {
    const uint16_t size = sim_config.module_buffer;
    std::vector<uint8_t> reply = {static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
    reply.resize(static_cast<size_t>(sim_config.size_reply_len), 0x00);
    sim_if.out = reply;
    sim_if.out_pos = 0;
    sim_if.re_after_out = false;
    sim_if.da = true;
}

static void write_command(uint8_t value) {
    const uint8_t rising = static_cast<uint8_t>(value & ~sim_if.command);
    const uint8_t falling = static_cast<uint8_t>(sim_if.command & ~value);
    sim_if.command = value;
    if (rising & COMMAND_RS) {
        reset_interface();
        ++sim_if.resets;
    }
    if ((rising & COMMAND_SR) && (sim_if.resets == 0 || (value & COMMAND_RS)))
        sim_protocol_error("size read asked for without a finished reset");
    if ((rising & COMMAND_SW) && (value & COMMAND_SR))
        sim_protocol_error("size write begun with SR still set");
    if (rising & COMMAND_SR) present_size();
    if (falling & COMMAND_SR) sim_if.fr = true; // ready for the size write
    if (falling & COMMAND_SW) {
        if (sim_config.free_never_from && sim_if.resets >= sim_config.free_never_from) {
            sim_if.stuck = true;
            sim_if.fr = false;
            ++sim_record.faults_injected;
        } else {
            sim_if.fr = true;
            fw_module_free();
        }
    }
    if (rising & COMMAND_HC) begin_host_message();
    if (falling & COMMAND_HC) end_host_message();
}

static void write_size(int shift, uint8_t value) {
    if (!(sim_if.command & COMMAND_HC)) {
        sim_protocol_error("size register written without HC");
        return;
    }
    if (shift && !(sim_if.size_regs_written & 1))
        sim_protocol_error("size MS written before size LS");
    const uint16_t keep = shift ? 0x00FF : 0xFF00;
    sim_if.host_size = static_cast<uint16_t>((sim_if.host_size & keep) | value << shift);
    sim_if.size_regs_written |= shift ? 2 : 1;
}

static void write_data(uint8_t value) {
    if (!(sim_if.command & COMMAND_HC) || !sim_if.fr_at_hc) {
        sim_protocol_error((sim_if.command & COMMAND_HC) ? "data byte written while FR was clear"
                                                         : "data byte written without HC");
        sim_if.we = true;
        return;
    }
    if (sim_if.size_regs_written != 3) sim_protocol_error("data byte written before the size");
    sim_if.host_bytes.push_back(value);
    const size_t count = sim_if.host_bytes.size();
    if (count > sim_if.host_size) {
        sim_protocol_error("more data bytes than the announced size");
        sim_if.we = true;
    } else if (count == sim_if.host_size && !(sim_if.command & COMMAND_SW) &&
               fw_write_error_due()) {
        sim_if.we = true;
        sim_if.host_discard = !sim_fw.keep_after_reset;
    }
    if (fw_remove_in_identify(count)) sim_pull_out();
}

static void write_register(uint16_t port, uint8_t value) {
    ++sim_record.port_writes;
    if (!sim_if.inserted || !in_window(port)) return;
    offer_pending_reply();
    if (sim_faults_drop_write(port - sim_config.base)) return;
    switch (port - sim_config.base) {
    case REG_DATA:
        write_data(value);
        break;
    case REG_COMMAND:
        write_command(value);
        break;
    case REG_SIZE_LS:
        write_size(0, value);
        break;
    default:
        write_size(8, value);
        break;
    }
}

static std::FILE *trace_file;

void sim_port_trace_to(std::FILE *file) {
    trace_file = file;
}

static void trace(char direction, uint16_t port, uint8_t value, size_t errors_before) {
    if (!trace_file) return;
    std::fprintf(trace_file, "%c 0x%03x 0x%02x\n", direction, port, value);
    const std::vector<std::string> &errors = sim_record.protocol_errors;
    for (size_t i = errors_before; i < errors.size(); ++i)
        std::fprintf(trace_file, "! %s\n", errors[i].c_str());
}

uint8_t sim_read(uint16_t port) {
    const size_t errors = sim_record.protocol_errors.size();
    const uint8_t value = read_register(port);
    trace('R', port, value, errors);
    return value;
}

void sim_write(uint16_t port, uint8_t value) {
    const size_t errors = sim_record.protocol_errors.size();
    write_register(port, value);
    trace('W', port, value, errors);
}
