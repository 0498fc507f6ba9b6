// The compiled-in page images against their files, and no pad byte at their end, so that
// padding written in its place shows in the flash.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "protocol/page_image.h"

TEST(PageImages, CompiledBytesEqualTheirFiles) {
    for (const PageImage *p : {&page_image_0, &page_image_1}) {
        std::ifstream in(p->page ? STANDIN_PAGE1_FILE : STANDIN_PAGE0_FILE, std::ios::binary);
        const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(std::vector<uint8_t>(p->bytes, p->bytes + p->size), file) << int(p->page);
        EXPECT_EQ(std::string(p->marker, 4), "ZOL" + std::to_string(p->page));
        EXPECT_NE(p->bytes[p->size - 1], PAD_BYTE);
    }
}
