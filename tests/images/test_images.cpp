// The compiled-in page images against their files: bytes, page, marker, and no padding at the end.
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
        const std::string marker = "ZOL" + std::to_string(page);
        const auto at_offset = reinterpret_cast<const char *>(p.bytes) + MARKER_OFFSET;
        EXPECT_EQ(std::tuple(int(p.page), std::string(p.marker, 4), std::string(at_offset, 5)),
                  std::tuple(page, marker, marker + '\0'));
        EXPECT_NE(p.bytes[p.size - 1], PAD_BYTE);
    }
}
