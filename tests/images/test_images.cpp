// The page images compiled into the program against the files they were built from, and the
// properties of the stand-in images that the flash update and its tests rely on.
#include "protocol/page_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct ImageCase {
    const PageImage *image;
    const char *file;
    uint8_t page;
    uint32_t shipped_size;
    const char *marker;
};

const ImageCase CASES[] = {
    {&page_image_0, STANDIN_PAGE0_FILE, 0, 58210, "ZOL0"},
    {&page_image_1, STANDIN_PAGE1_FILE, 1, 57592, "ZOL1"},
};

std::vector<uint8_t> read_file(const char *path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot read ") + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PageImages : public testing::TestWithParam<ImageCase> {};

TEST_P(PageImages, CompiledBytesEqualTheFile) {
    const ImageCase &c = GetParam();
    const std::vector<uint8_t> file = read_file(c.file);
    ASSERT_EQ(c.image->size, file.size());
    const uint8_t *end = c.image->bytes + c.image->size;
    const uint8_t *difference = std::mismatch(c.image->bytes, end, file.begin()).first;
    EXPECT_EQ(difference, end) << "first difference at offset " << difference - c.image->bytes;
}

TEST_P(PageImages, RecordNamesItsPageAndMarker) {
    const ImageCase &c = GetParam();
    EXPECT_EQ(c.image->page, c.page);
    EXPECT_EQ(c.image->size, c.shipped_size);
    EXPECT_EQ(std::memcmp(c.image->marker, c.marker, 4), 0);
}

TEST_P(PageImages, MarkerAndZeroByteStandAtMarkerOffset) {
    const ImageCase &c = GetParam();
    EXPECT_EQ(std::memcmp(c.image->bytes + MARKER_OFFSET, c.marker, 4), 0);
    EXPECT_EQ(c.image->bytes[MARKER_OFFSET + 4], 0);
}

TEST_P(PageImages, LastByteIsNotPadding) {
    const ImageCase &c = GetParam();
    EXPECT_NE(c.image->bytes[c.image->size - 1], PAD_BYTE);
}

INSTANTIATE_TEST_SUITE_P(Standin, PageImages, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<ImageCase> &info) {
                             return "page" + std::to_string(info.param.page);
                         });

} // namespace
