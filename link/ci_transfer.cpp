#include "link/ci_link.h"
#include "link/link_internal.h"
#include "link/port.h"
#include "link/registers.h"

LinkResult ci_send(const uint8_t *bytes, uint16_t length) {
    if (!module_link.present) return LINK_NO_MODULE;
    if (link_read_status() != LINK_OK) return LINK_NO_MODULE;
    if (!(module_link.status & STATUS_FR)) return LINK_BUSY;

    if (link_set_command_bit(COMMAND_HC) != LINK_OK) return LINK_NO_MODULE;
    if (link_read_status() != LINK_OK) return LINK_NO_MODULE;
    if (!(module_link.status & STATUS_FR)) {
        // The module took the interface back between the two reads: give up host control.
        return link_clear_command_bit(COMMAND_HC) == LINK_OK ? LINK_BUSY : LINK_NO_MODULE;
    }

    if (ci_write_reg(link_port(REG_SIZE_LS), static_cast<uint8_t>(length & 0xFF)) != LINK_OK)
        return LINK_NO_MODULE;
    if (ci_write_reg(link_port(REG_SIZE_MS), static_cast<uint8_t>(length >> 8)) != LINK_OK)
        return LINK_NO_MODULE;
    for (uint16_t i = 0; i < length; ++i)
        if (ci_write_reg(link_port(REG_DATA), bytes[i]) != LINK_OK) return LINK_NO_MODULE;

    if (link_read_status() != LINK_OK) return LINK_NO_MODULE;
    const bool write_error = (module_link.status & STATUS_WE) != 0;
    if (link_clear_command_bit(COMMAND_HC) != LINK_OK) return LINK_NO_MODULE;
    return write_error ? LINK_TRANSFER_ERROR : LINK_OK;
}

LinkResult ci_receive(uint8_t *buffer, uint16_t capacity, uint16_t *length) {
    if (!module_link.present) return LINK_NO_MODULE;
    if (link_read_status() != LINK_OK) return LINK_NO_MODULE;
    if (!(module_link.status & STATUS_DA)) return LINK_NO_DATA;
    if (ci_read_reg(link_port(REG_SIZE_LS), &module_link.size_ls) != LINK_OK) return LINK_NO_MODULE;
    if (ci_read_reg(link_port(REG_SIZE_MS), &module_link.size_ms) != LINK_OK) return LINK_NO_MODULE;

    // The whole message is drained from the module, so that its read-error bit is still
    // tested, but nothing beyond the caller's buffer is stored.
    const uint16_t announced =
        static_cast<uint16_t>(module_link.size_ms << 8 | module_link.size_ls);
    const uint16_t stored = announced < capacity ? announced : capacity;
    for (uint16_t i = 0; i < announced; ++i) {
        const uint8_t byte = port_read(link_port(REG_DATA));
        if (i < stored) buffer[i] = byte;
    }
    *length = stored;

    if (link_read_status() != LINK_OK) return LINK_NO_MODULE;
    if (module_link.status & STATUS_RE) return LINK_TRANSFER_ERROR;
    return announced > capacity ? LINK_TRANSFER_ERROR : LINK_OK;
}
