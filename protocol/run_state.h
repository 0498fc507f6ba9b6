#pragma once
#include <cstdint>

extern uint16_t buffer_size; // set through ci_detect's size output; fixes the frame length
extern uint8_t frame_mode;   // set by the identification to 0 or 1
