// The reader's lock on Linux: an exclusive flock on a lock file, /run/lock/ciflash.lock unless
// the environment names another in CIFLASH_LOCK, beside a POSIX read lock on the whole file
// that lets the system name the holder (F_GETLK) to the next one. The file is opened only for
// reading and never written, so any user who may read it takes the lock. The flock alone keeps the
// reader: closing another descriptor of the file would drop the POSIX lock, and only the holder's
// name with it.
#include "platform/reader_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char DEFAULT_LOCK_FILE[] = "/run/lock/ciflash.lock";

struct flock whole_file(short type) {
    struct flock range = {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    return range;
}

// The process the system says holds a lock on the file, or 0 when it names none.
long holder_pid(int fd) {
    struct flock range = whole_file(F_WRLCK);
    return fcntl(fd, F_GETLK, &range) == 0 && range.l_type != F_UNLCK ? range.l_pid : 0;
}

} // namespace

bool reader_lock_take() {
    const char *path = secure_getenv("CIFLASH_LOCK");
    if (path == nullptr || *path == '\0') path = DEFAULT_LOCK_FILE;
    // A link is not followed and nothing else is used: neither a fifo nor a device is opened
    // to wait or to become the terminal.
    const int fd =
        open(path, O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    struct stat file = {};
    const char *reason = fd < 0 && errno == ELOOP ? "a symbolic link"
                         : fd < 0                 ? std::strerror(errno)
                         : fstat(fd, &file) != 0  ? std::strerror(errno)
                         : !S_ISREG(file.st_mode) ? "not a regular file"
                                                  : nullptr;
    if (reason) {
        std::fprintf(stderr,
                     "ciflash: cannot use the lock file %s: %s (CIFLASH_LOCK may name another).\n",
                     path, reason);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        struct flock range = whole_file(F_RDLCK);
        static_cast<void>(fcntl(fd, F_SETLK, &range));
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
