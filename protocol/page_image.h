// The two firmware page images compiled into the program as read-only data. Their content is
// opaque to the program except for the marker, which names the page an image belongs to.
#pragma once
#include <cstdint>

struct PageImage {
    uint8_t page; // flash page number, 0 or 1; p1 of every block frame of this image
    const uint8_t *bytes;
    uint32_t size;
    char marker[4]; // the four bytes the image must carry at MARKER_OFFSET
};

constexpr uint32_t MARKER_OFFSET = 0x5000;
constexpr uint8_t PAD_BYTE = 0xFF; // fills the last block after the image's end

// An image is cut into blocks of block_len bytes, the last one padded with PAD_BYTE.
constexpr uint32_t page_block_count(const PageImage &image, uint32_t block_len) {
    return (image.size + block_len - 1) / block_len;
}

extern const PageImage page_image_0;
extern const PageImage page_image_1;
// The SHA-256 of each image file in 64 lower-case hex digits, taken when it was compiled in.
extern const char page_image_0_sha256[];
extern const char page_image_1_sha256[];
