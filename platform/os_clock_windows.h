// The deadline arithmetic of the Windows clock, checked on its own.
#pragma once
#include <cstdint>

// The milliseconds from tick `now` to tick `deadline`, taken as their 32-bit difference:
// 0 when the counter reads the deadline already or the deadline lies 2^31 ms or more behind.
uint32_t os_ms_until(uint32_t now, uint32_t deadline);
