// The compiled-in page images against their files: bytes, page and marker, and no pad byte at
// the end, so that padding written in its place shows in the flash.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "protocol/page_image.h"

TEST(PageImages, CompiledBytesEqualTheirFiles) {
    const PageImage *images[] = {&page_image_0, &page_image_1};
    const char *files[] = {STANDIN_PAGE0_FILE, STANDIN_PAGE1_FILE};
    for (int page = 0; page < 2; ++page) {
        const PageImage &p = *images[page];
        std::ifstream in(files[page], std::ios::binary);
        const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(std::vector<uint8_t>(p.bytes, p.bytes + p.size), file) << files[page];
        EXPECT_EQ(std::to_string(p.page) + std::string(p.marker, 4), page ? "1ZOL1" : "0ZOL0");
        EXPECT_NE(p.bytes[p.size - 1], PAD_BYTE);
    }
}
