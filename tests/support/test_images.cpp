#include "tests/support/test_images.h"

// Pseudo-random, so a shifted, dropped or repeated byte shows; the last byte is no padding.
static std::vector<uint8_t> make_image(uint32_t size, const char *marker) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = 0x2545F491u + uint8_t(marker[3]);
    for (uint8_t &b : bytes) b = uint8_t((state = state * 1664525u + 1013904223u) >> 24);
    for (uint32_t i = 0; i < 5; ++i) bytes[MARKER_OFFSET + i] = uint8_t(marker[i]);
    bytes.back() = 0x5A;
    return bytes;
}

std::vector<uint8_t> test_image_bytes[2] = {make_image(58210, "ZOL0"), make_image(57592, "ZOL1")};
const PageImage page_image_0 = {0, test_image_bytes[0].data(), 58210, {'Z', 'O', 'L', '0'}};
const PageImage page_image_1 = {1, test_image_bytes[1].data(), 57592, {'Z', 'O', 'L', '1'}};
const char page_image_0_sha256[] = "", page_image_1_sha256[] = "";
