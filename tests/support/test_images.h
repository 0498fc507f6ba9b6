// Page images of the tests' own, in place of the compiled-in ones, of the shipped sizes. Their
// bytes may be changed by a test (a broken marker) and put back.
#pragma once
#include <cstdint>
#include <vector>

#include "protocol/page_image.h"

extern std::vector<uint8_t> test_image_bytes[2];
