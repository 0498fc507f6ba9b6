#pragma once
#include <cstdint>
#include <vector>

#include "protocol/page_image.h"

extern std::vector<uint8_t> test_image_bytes[2];
