// The page images compiled into the program against the files they were built from, and what
// the update and its tests rely on: page, size and marker, and a last byte that is not padding.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "protocol/page_image.h"

TEST(PageImages, CompiledBytesEqualTheirFiles) {
    const struct {
        const PageImage &image;
        const char *file, *marker;
        uint32_t size;
    } pages[] = {{page_image_0, STANDIN_PAGE0_FILE, "ZOL0", 58210},
                 {page_image_1, STANDIN_PAGE1_FILE, "ZOL1", 57592}};
    for (int page = 0; page < 2; ++page) {
        const auto &p = pages[page];
        std::ifstream in(p.file, std::ios::binary);
        const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(std::vector<uint8_t>(p.image.bytes, p.image.bytes + p.image.size), file)
            << p.file;
        EXPECT_EQ(p.image.page, page);
        EXPECT_EQ(p.image.size, p.size);
        EXPECT_EQ(std::string(p.image.marker, 4), p.marker);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(p.image.bytes) + MARKER_OFFSET, 5),
                  p.marker + std::string(1, '\0'));
        EXPECT_NE(p.image.bytes[p.image.size - 1], PAD_BYTE);
    }
}
