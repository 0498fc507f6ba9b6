// The tests' own page images of the shipped sizes; a test may break a byte and put it back.
#pragma once
#include <cstdint>
#include <vector>

#include "protocol/page_image.h"

extern std::vector<uint8_t> test_image_bytes[2];
