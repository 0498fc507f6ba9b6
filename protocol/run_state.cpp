#include "protocol/run_state.h"

uint16_t buffer_size = 0;
uint8_t frame_mode = 0;
