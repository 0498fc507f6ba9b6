#include "rehearse/program_memory.h"

#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// The program's memory, kept open across reads: a read through it costs less than a
// process_vm_readv, which checks the permission to trace at every call.
int memory = -1;
pid_t memory_pid = 0;

ssize_t read_memory(pid_t pid, uint64_t address, void *to, size_t size) {
    if (memory < 0 || memory_pid != pid) {
        if (memory >= 0) close(memory);
        memory = open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
        memory_pid = pid;
    }
    return memory < 0 ? -1 : pread(memory, to, size, static_cast<off_t>(address));
}

} // namespace

size_t program_read(pid_t pid, uint64_t address, void *to, size_t size) {
    ssize_t got = read_memory(pid, address, to, size);
    if (got <= 0) {
        // An exec gives the program a new memory, which the open one does not see.
        close(memory);
        memory = -1;
        got = read_memory(pid, address, to, size);
    }
    return got > 0 ? static_cast<size_t>(got) : 0;
}
