#include "link/ci_link.h"
#include "link/link_internal.h"
#include "link/port.h"
#include "link/registers.h"

ModuleLink module_link;

uint16_t ci_io_base() {
    return module_link.io_base;
}

// The module counts as gone only when status, size LS and size MS all read 0xFF (an empty
// PCMCIA slot floats high). The check always reads the registers at io_base.
static LinkResult presence_check() {
    const uint16_t base = module_link.io_base;
    if (port_read(static_cast<uint16_t>(base + REG_STATUS)) != 0xFF) return LINK_OK;
    if (port_read(static_cast<uint16_t>(base + REG_SIZE_LS)) != 0xFF) return LINK_OK;
    if (port_read(static_cast<uint16_t>(base + REG_SIZE_MS)) != 0xFF) return LINK_OK;
    module_link.present = 0;
    return LINK_NO_MODULE;
}

LinkResult ci_read_reg(uint16_t port, uint8_t *value) {
    if (presence_check() != LINK_OK) return LINK_NO_MODULE;
    *value = port_read(port);
    return LINK_OK;
}

LinkResult ci_write_reg(uint16_t port, uint8_t value) {
    if (presence_check() != LINK_OK) return LINK_NO_MODULE;
    port_write(port, value);
    return LINK_OK;
}

LinkResult link_read_status() {
    uint8_t value = 0;
    if (ci_read_reg(link_port(REG_STATUS), &value) != LINK_OK) return LINK_NO_MODULE;
    module_link.status = value & STATUS_MASK;
    return LINK_OK;
}

// The command register cannot be read back: every change writes the whole shadow byte.
LinkResult link_set_command_bit(uint8_t bit) {
    module_link.command_shadow |= bit;
    return ci_write_reg(link_port(REG_COMMAND), module_link.command_shadow);
}

LinkResult link_clear_command_bit(uint8_t bit) {
    module_link.command_shadow &= static_cast<uint8_t>(~bit);
    return ci_write_reg(link_port(REG_COMMAND), module_link.command_shadow);
}
