#include "rehearse/program_memory.h"

#include <algorithm>
#include <sys/uio.h>

namespace {

constexpr uint64_t PAGE = 4096;

} // namespace

size_t program_read(pid_t pid, uint64_t address, void *to, size_t size) {
    const size_t first = std::min<size_t>(size, PAGE - address % PAGE);
    iovec local{to, size};
    iovec remote[2] = {{reinterpret_cast<void *>(address), first},
                       {reinterpret_cast<void *>(address + first), size - first}};
    const ssize_t got = process_vm_readv(pid, &local, 1, remote, first < size ? 2 : 1, 0);
    return got > 0 ? static_cast<size_t>(got) : 0;
}
