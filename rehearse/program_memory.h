// Reading the memory of the program under rehearsal: its paths, its clone3 arguments, the
// bytes of its port instructions.
#pragma once
#include <cstddef>
#include <cstdint>
#include <sys/types.h>

// Reads up to `size` bytes (a page at most) at `address` in the program into `to`: the bytes
// up to the end of a readable mapping even when the next page is not. Returns the number of
// bytes read.
size_t program_read(pid_t pid, uint64_t address, void *to, size_t size);
