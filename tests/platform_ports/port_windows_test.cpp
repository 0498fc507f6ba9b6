#include "link/port.h"
#include "platform/port_windows.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// Where a PCMCIA reader can map the four command-interface registers.
constexpr uint16_t READER_BASES[] = {0x300, 0x320, 0x340, 0x360, 0x380};
// Ports around and far from the windows.
constexpr uint16_t STRAY_PORTS[] = {0x0000, 0x0080, 0x02FF, 0x0304, 0x031F, 0x0384, 0xFFFF};

TEST(PortWindows, TakeTheFourRegistersAtEachReaderBaseAndNotTheirNeighbours) {
    for (const uint16_t base : READER_BASES) {
        EXPECT_FALSE(port_in_windows(static_cast<uint16_t>(base - 1))) << std::hex << base;
        for (uint16_t offset = 0; offset < 4; ++offset)
            EXPECT_TRUE(port_in_windows(static_cast<uint16_t>(base + offset)))
                << std::hex << base << "+" << offset;
        EXPECT_FALSE(port_in_windows(static_cast<uint16_t>(base + 4))) << std::hex << base;
    }
}

TEST(PortWindows, TakeNoOtherPortOfTheWholeSpace) {
    int taken = 0;
    for (uint32_t port = 0; port <= 0xFFFF; ++port)
        if (port_in_windows(static_cast<uint16_t>(port))) ++taken;
    EXPECT_EQ(taken, 5 * 4);
}

// The test process holds no I/O permission: an in or out instruction that reached the bus
// would kill the child with SIGSEGV instead of letting it exit with 0.
TEST(PortGuard, TouchesNoPortBeforeTheWindowsAreOpen) {
    EXPECT_EXIT(
        {
            bool all_ff = true;
            for (const uint16_t base : READER_BASES) {
                port_write(static_cast<uint16_t>(base + 1), 0x08);
                all_ff = all_ff && port_read(static_cast<uint16_t>(base + 1)) == 0xFF;
            }
            std::exit(all_ff ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(PortGuard, TouchesNoPortOutsideTheWindowsOnceTheyAreOpen) {
    EXPECT_EXIT(
        {
            port_windows_open = true;
            bool all_ff = true;
            for (const uint16_t port : STRAY_PORTS) {
                port_write(port, 0x00);
                all_ff = all_ff && port_read(port) == 0xFF;
            }
            std::exit(all_ff ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
