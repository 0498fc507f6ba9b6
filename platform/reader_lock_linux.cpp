// The reader's lock on Linux: flock on a lock file, /run/lock/ciflash.lock unless the
// environment names another in CIFLASH_LOCK. The package has the file made at boot, owned by
// root:ciflash with mode 0664, so that every member of the group can open it for writing;
// made by the program itself it gets mode 0664 less the umask. A user who may only read it
// still takes the lock, without leaving a process id. The holder writes its process id into
// the file for the next one to name.
#include "platform/reader_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr char DEFAULT_LOCK_FILE[] = "/run/lock/ciflash.lock";

// The process id in the lock file, or 0 when it holds none.
long holder_pid(int fd) {
    char text[24] = "";
    const ssize_t got = pread(fd, text, sizeof text - 1, 0);
    if (got <= 0) return 0;
    text[got] = '\0';
    return std::strtol(text, nullptr, 10);
}

// A lock file opened only for reading keeps the previous id; the next one may name it.
void record_pid(int fd) {
    char text[24];
    const int length = std::snprintf(text, sizeof text, "%ld\n", static_cast<long>(getpid()));
    static_cast<void>(ftruncate(fd, 0) == 0 && pwrite(fd, text, static_cast<size_t>(length), 0));
}

} // namespace

bool reader_lock_take() {
    const char *path = secure_getenv("CIFLASH_LOCK");
    if (path == nullptr || *path == '\0') path = DEFAULT_LOCK_FILE;
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0664);
    if (fd < 0) fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        std::fprintf(stderr,
                     "ciflash: cannot open the lock file %s: %s.\n"
                     "It keeps a second ciflash off the reader; CIFLASH_LOCK may name another.\n",
                     path, std::strerror(errno));
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        record_pid(fd);
        return true; // held until the process ends: the descriptor is never closed
    }
    if (errno != EWOULDBLOCK) {
        std::fprintf(stderr, "ciflash: cannot lock %s: %s.\n", path, std::strerror(errno));
        return false;
    }
    const long pid = holder_pid(fd);
    if (pid > 0)
        std::fprintf(stderr, "ciflash: another ciflash (process %ld) is using the reader.\n", pid);
    else
        std::fputs("ciflash: another ciflash is using the reader.\n", stderr);
    std::fputs("Let it end, then start ciflash again.\n", stderr);
    return false;
}
