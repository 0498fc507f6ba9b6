// The run-time marker check, with images of this test's own in place of the compiled-in ones.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/page_image.h"
#include "tests/protocol/update_harness.h"

static std::vector<uint8_t> image_bytes(const char *marker) {
    std::vector<uint8_t> bytes(MARKER_OFFSET + 5 + 300);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13 + 1);
    for (int i = 0; i < 4; ++i) bytes[MARKER_OFFSET + i] = static_cast<uint8_t>(marker[i]);
    bytes[MARKER_OFFSET + 4] = 0;
    return bytes;
}

static std::vector<uint8_t> page0_bytes = image_bytes("ZOL0");
static std::vector<uint8_t> page1_bytes = image_bytes("ZOL0"); // page 0's marker on page 1

const PageImage page_image_0 = {
    0, page0_bytes.data(), static_cast<uint32_t>(page0_bytes.size()), {'Z', 'O', 'L', '0'}};
const PageImage page_image_1 = {
    1, page1_bytes.data(), static_cast<uint32_t>(page1_bytes.size()), {'Z', 'O', 'L', '1'}};

TEST(FlashMarker, WrongMarkerOnPage1AfterPage0IsWrittenInFull) {
    EXPECT_EQ(run_update({}, {'Q', ' '}), -2);
    EXPECT_TRUE(sim_page_matches_image(0));
    EXPECT_EQ(sim_record.frames, sim_record.pages[0].blocks); // no frame of page 1
    EXPECT_EQ(vscreen_row(20), " Exit: ESC");
    // Written over the update line of page 0, which is not blanked first.
    const std::string update_line = "Update code page 0 under process";
    EXPECT_EQ(vscreen_row(3), " wrong page1 binary file" + update_line.substr(23));
    EXPECT_EQ(vscreen_writes_at(3).back(), "wrong page1 binary file\n");

    EXPECT_EQ(run_update({}, {27}), 1);
    EXPECT_EQ(vscreen_dump(), "");
}
